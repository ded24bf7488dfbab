#include "app/core/project.h"
#include "app/ui/formstorage.h"
#include "app/ui/mainwindow.h"
#include "app/ui/prompts.h"

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
        QStringList props;
        for (const ProjectField &f : projectFields())
            props << f.storageEntry();
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

Project MainWindow::projectFromFields()
{
    Project p;
    for (const ProjectField &f : projectFields()) {
        const QVariant v = FormStorage::propertyValue(this, f.storageEntry());
        switch (f.kind) {
        case ProjectField::Kind::Text:
            p.setText(f.component, v.toString());
            break;
        case ProjectField::Kind::Integer:
            p.setInteger(f.component, v.toInt());
            break;
        case ProjectField::Kind::Boolean:
            p.setChecked(f.component, v.toBool());
            break;
        }
    }
    return p;
}

void MainWindow::resetFieldsMissingFromOldProjects()
{
    const Project start;
    for (const ProjectField &f : projectFields()) {
        if (!f.startWhenMissing)
            continue;
        const QString v = start.text(f.component);
        FormStorage::setPropertyValue(this, f.storageEntry(),
                                      f.kind == ProjectField::Kind::Boolean
                                          ? QVariant(v == QLatin1String("True"))
                                          : QVariant(v));
    }
}

void MainWindow::restoreStoragesOnShow() { FormStorage::windowShown(this); }

void MainWindow::saveStoragesOnClose() { FormStorage::windowClosing(this); }

void MainWindow::saveStoragesOnDestroy() { FormStorage::windowDestroying(this); }

} // namespace tl
