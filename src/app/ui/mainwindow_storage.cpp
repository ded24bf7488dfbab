#include "app/ui/formstorage.h"
#include "app/ui/mainwindow.h"
#include "app/ui/prompts.h"

namespace tl {

// The project fields, in the order the project file lists them.
static const char *const kProjectFields[] = {
    "pathMAIN.Text",          "pathCONF.Text",       "pathDATA.Text",
    "pnlLEVY.Width",          "edtFTPADDRESS.Text",  "edtUSER.Text",
    "edtFIREWALL.Text",       "edtPORT.Text",        "rPATHMAIN.Text",
    "chkPROXY.Checked",       "edtNOTE.Text",        "rDATAPATH.Text",
    "edtMAINURI.Text",        "edtCOUNT.Text",       "fileTEMPLATE.Text",
    "archiveTEMPLATE.Text",   "edtMAINHTML.Text",    "edtRSSTEMPLATE.Text",
    "edtRSSFILE.Text",        "edtTXTTEMPLATE.Text", "edtTXTFILE.Text",
    "edtAUTHOR.Text",         "edtEMAIL.Text",       "edtLONGPOSTSEPARATOR.Text",
    "rgPARAGRAPH.ItemIndex",  "rgCHARSET.ItemIndex", "dirPATHARCHIVES.Text",
    // Added later, so older project files simply lack it (and the field
    // keeps what it held).
    "edtSITETITLE.Text",
};

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
        QStringList props;
        for (const char *f : kProjectFields)
            props << QString::fromLatin1(f);
        formstorPROJEKT->setStoredProps(props);
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

void MainWindow::restoreStoragesOnShow() { FormStorage::windowShown(this); }

void MainWindow::saveStoragesOnClose() { FormStorage::windowClosing(this); }

void MainWindow::saveStoragesOnDestroy() { FormStorage::windowDestroying(this); }

} // namespace tl
