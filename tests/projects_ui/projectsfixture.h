#pragma once
// A main window in a temporary program folder with a CONF folder holding the
// default files, plus helpers to lay out project files and to drive the
// "New project" dialog without showing it.
#include "core/ini.h"
#include "core/openproject.h"
#include "ui/mainwindow.h"
#include "ui/projects/newprojectdialog.h"
#include "ui/widgets.h"
#include "windowfixture.h"

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>
#include <QTest>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

// Readable QString values in failure messages.
inline void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }

namespace tl::test {

// The project keys in the order a project file lists them: the 27 of the
// first project files, then those added for FTP modes, SFTP, the site title,
// spell checking and the publishing targets.
inline const std::vector<std::string> &projectKeys()
{
    static const std::vector<std::string> keys = {
        "pathMAIN_Text", "pathCONF_Text", "pathDATA_Text", "pnlLEVY_Width",
        "edtFTPADDRESS_Text", "edtUSER_Text", "edtFIREWALL_Text", "edtPORT_Text",
        "rPATHMAIN_Text", "chkPROXY_Checked", "edtNOTE_Text", "rDATAPATH_Text",
        "edtMAINURI_Text", "edtCOUNT_Text", "fileTEMPLATE_Text", "archiveTEMPLATE_Text",
        "edtMAINHTML_Text", "edtRSSTEMPLATE_Text", "edtRSSFILE_Text", "edtTXTTEMPLATE_Text",
        "edtTXTFILE_Text", "edtAUTHOR_Text", "edtEMAIL_Text", "edtLONGPOSTSEPARATOR_Text",
        "rgPARAGRAPH_ItemIndex", "rgCHARSET_ItemIndex", "dirPATHARCHIVES_Text",
        "chkPASSIVE_Checked", "chkFTPS_Checked", "edtFINGERPRINT_Text", "chkSFTP_Checked",
        "edtSITETITLE_Text", "chkSPELL_Checked", "cmbSPELLLANG_Text", "rgTARGET_ItemIndex",
        "edtGITURL_Text", "edtGITBRANCH_Text", "edtS3ENDPOINT_Text", "edtS3REGION_Text",
        "edtS3BUCKET_Text", "edtS3KEYID_Text"};
    return keys;
}

// Key names of section [TForm1] of an INI file, in file order.
inline std::vector<std::string> keysInOrder(const QString &path)
{
    std::vector<std::string> keys;
    bool inSection = false;
    const std::string bytes = fileBytes(path);
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        std::size_t end = bytes.find('\n', pos);
        if (end == std::string::npos)
            end = bytes.size();
        std::string line = bytes.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        pos = end + 1;
        if (!line.empty() && line.front() == '[') {
            inSection = line == "[TForm1]";
            continue;
        }
        const std::size_t eq = line.find('=');
        if (inSection && eq != std::string::npos)
            keys.push_back(line.substr(0, eq));
    }
    return keys;
}

inline std::string iniValue(const QString &path, const std::string &key)
{
    return IniFile::load(path.toStdString()).readString("TForm1", key, "<missing>");
}

// Replaces the way the "New project" dialog is shown for as long as it lives.
class NewProjectScript {
public:
    struct Run {
        bool shown = false;
        bool finishedByCreate = false; // the dialog closed itself after "&Create"
        bool stayedOpen = false;       // "&Create" was refused; Cancel closed it
    };

    // Types `name` and `path`, presses "&Create"; when the dialog refuses
    // to close, presses "Cancel". With cancel=true presses only "Cancel".
    NewProjectScript(const QString &name, const QString &path, bool cancel = false)
    {
        NewProjectDialog::setShowHook([this, name, path, cancel](NewProjectDialog &d) {
            run.shown = true;
            bool finished = false;
            QObject::connect(&d, &QDialog::finished, [&finished] { finished = true; });
            control<QLineEdit>(d, "edtNAMENEWPROJECT")->setText(name);
            control<PathEdit>(d, "edtPATHNEWPROJECT")->setText(path);
            if (cancel) {
                control<QPushButton>(d, "btnCANCEL")->click();
                return d.result();
            }
            control<QPushButton>(d, "btnCREATE")->click();
            if (finished) {
                run.finishedByCreate = d.result() == QDialog::Accepted;
                return d.result();
            }
            run.stayedOpen = true;
            control<QPushButton>(d, "btnCANCEL")->click();
            return d.result();
        });
    }
    ~NewProjectScript() { NewProjectDialog::setShowHook({}); }

    Run run;
};

class ProjectsFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        QDir().mkpath(conf());
        const QString defaults = QStringLiteral(TL_TEST_DATA_DIR "/projects/defaults/");
        for (const QString &f : QDir(defaults).entryList(QDir::Files))
            QFile::copy(defaults + f, conf() + "/" + f);
    }

    QString folder() const { return fx.programFolder(); }
    QString conf() const { return fx.programFolder() + "CONF"; }
    QString projectFile(const QString &name) const { return conf() + "/" + name + ".tvp"; }

    // Writes a project file holding the given keys; its data folder is made
    // and set unless the keys name one.
    void writeProject(const QString &name, std::map<std::string, std::string> keys = {})
    {
        if (!keys.count("pathDATA_Text")) {
            const QString data = folder() + "data-" + name;
            QDir().mkpath(data);
            keys["pathDATA_Text"] = data.toStdString();
        }
        std::string text = "[TForm1]\r\n";
        for (const auto &[k, v] : keys)
            text += k + "=" + v + "\r\n";
        writeBytes(projectFile(name), text);
    }

    void writeSettings(const std::string &defaultProject)
    {
        writeBytes(folder() + "tarvlit.ini", "[TForm1]\r\ncmbDEFPROJ_Text=" + defaultProject + "\r\n");
    }

    MainWindow &start(bool show = true) { return fx.start(show); }
    MainWindow &w() { return fx.window(); }
    ScriptedPrompts &prompts() { return fx.prompts(); }

    QListWidget *projectList() { return control<QListWidget>(w(), "lstPROJEKTY"); }
    ComboBox *defaultProjectBox() { return control<ComboBox>(w(), "cmbDEFPROJ"); }
    QString field(const char *name) { return fieldText(w(), name); }
    void setField(const char *name, const QString &text) { setFieldText(w(), name, text); }
    QStringList logLines() { return control<QPlainTextEdit>(w(), "Memo2")->toPlainText().split('\n', Qt::SkipEmptyParts); }

    QStringList listEntries()
    {
        QStringList out;
        for (int i = 0; i < projectList()->count(); ++i)
            out << projectList()->item(i)->text();
        return out;
    }
    QStringList defaultChoices()
    {
        QStringList out;
        for (int i = 0; i < defaultProjectBox()->count(); ++i)
            out << defaultProjectBox()->itemText(i);
        return out;
    }
    int highlighted()
    {
        const auto sel = projectList()->selectedItems();
        return sel.isEmpty() ? -1 : projectList()->row(sel.first());
    }

    // A mouse click on the entry with that text.
    void clickEntry(const QString &name)
    {
        QListWidget *list = projectList();
        const auto items = list->findItems(name, Qt::MatchExactly);
        ASSERT_FALSE(items.isEmpty()) << name.toStdString();
        list->scrollToItem(items.first());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(items.first()).center());
    }

    // Adds a project through "Add project" with the scripted dialog.
    NewProjectScript::Run addProject(const QString &name, const QString &path)
    {
        NewProjectScript script(name, path);
        QTest::mouseClick(control(w(), "Button2"), Qt::LeftButton);
        return script.run;
    }

    WindowFixture fx;
};

} // namespace tl::test
