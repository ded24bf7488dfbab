#include "core/projectsettings.h"
#include "ui/formstorage.h"
#include "ui/mainwindow.h"
#include "ui/prompts.h"
#include "ui/widgets.h"

#include <QCheckBox>
#include <QLineEdit>

namespace tl {

void MainWindow::setupStorages()
{
    // The project storage is declared first, so the settings storage wraps
    // it: on show the settings restore first, on close the project saves
    // first.
    if (!formstorPROJEKT) {
        formstorPROJEKT = new FormStorage(this, this);
        formstorPROJEKT->setObjectName(QStringLiteral("formstorPROJEKT"));
        formstorPROJEKT->setWindowClassName(QStringLiteral("TForm1"));
        formstorPROJEKT->setActive(false);
        formstorPROJEKT->setOptions({});
        // The project fields, each as its control and property: the keys
        // of the project file are these names joined with "_".
        formstorPROJEKT->setStoredProps(
            {"pathMAIN.Text", "pathCONF.Text", "pathDATA.Text", "pnlLEVY.Width",
             "edtFTPADDRESS.Text", "edtUSER.Text", "edtFIREWALL.Text", "edtPORT.Text",
             "rPATHMAIN.Text", "chkPROXY.Checked", "edtNOTE.Text", "rDATAPATH.Text",
             "edtMAINURI.Text", "edtCOUNT.Text", "fileTEMPLATE.Text", "archiveTEMPLATE.Text",
             "edtMAINHTML.Text", "edtRSSTEMPLATE.Text", "edtRSSFILE.Text", "edtTXTTEMPLATE.Text",
             "edtTXTFILE.Text", "edtAUTHOR.Text", "edtEMAIL.Text", "edtLONGPOSTSEPARATOR.Text",
             "rgPARAGRAPH.ItemIndex", "rgCHARSET.ItemIndex", "dirPATHARCHIVES.Text",
             "chkPASSIVE.Checked", "chkFTPS.Checked", "edtFINGERPRINT.Text", "chkSFTP.Checked",
             "edtSITETITLE.Text"});
        formstorPROJEKT->setErrorHandler([this](const QString &m) { prompts_->error(m); });
    }
    if (!formstorMAIN) {
        formstorMAIN = new FormStorage(this, this);
        formstorMAIN->setObjectName(QStringLiteral("formstorMAIN"));
        formstorMAIN->setWindowClassName(QStringLiteral("TForm1"));
        formstorMAIN->setOptions(FormStorage::Options(FormStorage::fpState)
                                 | FormStorage::fpPosition);
        formstorMAIN->setStoredProps({QStringLiteral("cmbDEFPROJ.Text")});
        formstorMAIN->setErrorHandler([this](const QString &m) { prompts_->error(m); });
    }
    formstorMAIN->setIniFileName(settingsFile());
    formstorMAIN->setActive(true);
}

ProjectSettings MainWindow::projectFromFields()
{
    ProjectSettings p;
    p.site.mainFolder = pathMAIN->text();
    p.site.configFolder = pathCONF->text();
    p.site.dataFolder = pathDATA->text();
    p.site.mainUri = edtMAINURI->text();
    p.site.postsOnMainPage = edtCOUNT->text();
    p.site.mainTemplate = fileTEMPLATE->text();
    p.site.archiveTemplate = archiveTEMPLATE->text();
    p.site.archiveFolder = dirPATHARCHIVES->text();
    p.site.mainPageName = edtMAINHTML->text();
    p.site.feedTemplate = edtRSSTEMPLATE->text();
    p.site.feedName = edtRSSFILE->text();
    p.site.textTemplate = edtTXTTEMPLATE->text();
    p.site.textPageName = edtTXTFILE->text();
    p.content.siteTitle = edtSITETITLE->text();
    p.content.author = edtAUTHOR->text();
    p.content.email = edtEMAIL->text();
    p.content.longPostLink = edtLONGPOSTSEPARATOR->text();
    p.content.paragraphs = static_cast<ParagraphMode>(rgPARAGRAPH->itemIndex());
    p.content.charset = static_cast<OutputCharset>(rgCHARSET->itemIndex());
    p.server.host = edtFTPADDRESS->text();
    p.server.user = edtUSER->text();
    p.server.proxyHost = edtFIREWALL->text();
    p.server.port = edtPORT->text();
    p.server.useProxy = chkPROXY->isChecked();
    p.server.passive = chkPASSIVE->isChecked();
    p.server.tls = chkFTPS->isChecked();
    p.server.sftp = chkSFTP->isChecked();
    p.server.remoteMainFolder = rPATHMAIN->text();
    p.server.remoteDataFolder = rDATAPATH->text();
    p.server.note = edtNOTE->text();
    p.server.trustedFingerprint = edtFINGERPRINT->text();
    p.treeWidth = pnlLEVY->width();
    return p;
}

void MainWindow::resetFieldsMissingFromOldProjects()
{
    const ProjectSettings start;
    chkPASSIVE->setChecked(start.server.passive);
    chkFTPS->setChecked(start.server.tls);
    edtFINGERPRINT->setText(start.server.trustedFingerprint);
    chkSFTP->setChecked(start.server.sftp);
    edtSITETITLE->setText(start.content.siteTitle);
}

void MainWindow::restoreStoragesOnShow() { FormStorage::windowShown(this); }

void MainWindow::saveStoragesOnClose() { FormStorage::windowClosing(this); }

void MainWindow::saveStoragesOnDestroy() { FormStorage::windowDestroying(this); }

} // namespace tl
