#include "app/core/cp1250.h"
#include "app/core/programfiles.h"
#include "app/ui/mainwindow.h"
#include "app/ui/prompts.h"
#include "app/ui/widgets.h"
#include "generator/generate.h"
#include "generator/ui/mainpageopener.h"
#include "posts/ui/postsstate.h"
#include "posts/ui/posttree.h"

#include <QAction>
#include <QDesktopServices>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QTreeWidget>
#include <QUrl>

namespace tl {

namespace {
PageOpener g_opener;

// Log lines and the upload list of a generation run, shown in the window.
class WindowReporter : public gen::GenerateReporter {
public:
    explicit WindowReporter(MainWindow &w) : w_(w) {}
    void log(const std::string &line) override { w_.log(QString::fromStdString(line)); }
    void clearUploadList() override { w_.lstFILESFTP->clear(); }
    void addToUploadList(const std::string &path) override
    {
        w_.lstFILESFTP->addItem(pathText(path));
    }

private:
    MainWindow &w_;
};

// Texts that go into pages are windows-1250 bytes; paths keep the file
// system's own encoding so that folders with any name work.
std::string text(const QLineEdit *e) { return encodeCp1250(e->text()); }
template <typename Edit> std::string path(const Edit *e) { return pathBytes(e->text()); }
} // namespace

void setPageOpener(PageOpener opener) { g_opener = std::move(opener); }

bool openPage(const QString &p)
{
    if (g_opener)
        return g_opener(p);
    return QDesktopServices::openUrl(QUrl::fromLocalFile(p));
}

void MainWindow::setupGenerator()
{
    connect(actGENERATE, &QAction::triggered, this, [this] {
        if (actGENERATE->isEnabled())
            run([this] { actGENERATEExecute(); });
    });
}

void MainWindow::actGENERATEExecute()
{
    if (!actGENERATE->isEnabled())
        return;
    if (!checkProjectSelected())
        return;

    // Read again: the post list, the month list and the tree come from the
    // data folder as it is now. A failure of Read stops the run.
    actREADExecute();

    gen::GenerateInput in;
    gen::ProjectFields &p = in.project;
    p.pathMAIN = path(pathMAIN);
    p.pathDATA = path(pathDATA);
    p.edtMAINHTML = path(edtMAINHTML);
    p.edtRSSFILE = path(edtRSSFILE);
    p.edtTXTFILE = path(edtTXTFILE);
    p.edtCOUNT = text(edtCOUNT);
    p.edtMAINURI = text(edtMAINURI);
    p.fileTEMPLATE = path(fileTEMPLATE);
    p.archiveTEMPLATE = path(archiveTEMPLATE);
    p.edtRSSTEMPLATE = path(edtRSSTEMPLATE);
    p.edtTXTTEMPLATE = path(edtTXTTEMPLATE);
    p.edtAUTHOR = text(edtAUTHOR);
    p.edtEMAIL = text(edtEMAIL);
    p.edtLONGPOSTSEPARATOR = text(edtLONGPOSTSEPARATOR);
    p.dirPATHARCHIVES = path(dirPATHARCHIVES);
    p.edtSITETITLE = text(edtSITETITLE);
    p.rgPARAGRAPH = rgPARAGRAPH->itemIndex();
    p.rgCHARSET = rgCHARSET->itemIndex();

    for (const QString &s : posts->strSOUBORY)
        in.postList.push_back(s.toStdString());
    for (const QString &s : posts->StrHolder1)
        in.monthList.push_back(s.toStdString());
    for (int i = 0; i < TreeView1->topLevelItemCount(); ++i) {
        QTreeWidgetItem *month = TreeView1->topLevelItem(i);
        in.treeOrder.push_back(nodeName(month).toStdString());
        for (int j = 0; j < month->childCount(); ++j)
            in.treeOrder.push_back(nodeName(month->child(j)).toStdString());
    }
    gen::stampFromProgram(in);

    WindowReporter reporter(*this);
    gen::GenerateSite(in, reporter);

    if (prompts().question(QStringLiteral("Confirm"),
                           QStringLiteral("Completed.\nDo you want see the main page?"), false)
        == Prompts::Answer::Yes) {
        const QString page = pathText(gen::mainPagePath(p));
        if (!QFileInfo::exists(page) || !openPage(page))
            log(page);
    }
}

} // namespace tl
