#include "ui/newprojectdialog.h"

#include "core/projects.h"
#include "ui/prompts.h"
#include "ui/widgets.h"

#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tl {

namespace {
NewProjectDialog::ShowHook &showHook()
{
    static NewProjectDialog::ShowHook hook;
    return hook;
}
} // namespace

NewProjectDialog::NewProjectDialog(Prompts &prompts, QWidget *parent) : QDialog(parent), prompts_(prompts)
{
    setObjectName(QStringLiteral("frmNEWPROJ"));
    setWindowTitle(tr("New project"));

    edtNAMENEWPROJECT = new QLineEdit(this);
    edtNAMENEWPROJECT->setObjectName(QStringLiteral("edtNAMENEWPROJECT"));
    edtPATHNEWPROJECT = new PathEdit(PathEdit::Folder, this);
    edtPATHNEWPROJECT->setObjectName(QStringLiteral("edtPATHNEWPROJECT"));
    edtPATHNEWPROJECT->setMinimumWidth(260);

    auto *form = new QFormLayout;
    form->addRow(tr("Name:"), edtNAMENEWPROJECT);
    form->addRow(tr("Main path:"), edtPATHNEWPROJECT);

    btnCREATE = new QPushButton(tr("&Create"), this);
    btnCREATE->setObjectName(QStringLiteral("btnCREATE"));
    btnCREATE->setDefault(true);
    btnCANCEL = new QPushButton(tr("Cancel"), this);
    btnCANCEL->setObjectName(QStringLiteral("btnCANCEL"));
    btnCANCEL->setAutoDefault(false);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnCREATE);
    buttons->addWidget(btnCANCEL);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);

    connect(btnCREATE, &QPushButton::clicked, this, &NewProjectDialog::createClicked);
    connect(btnCANCEL, &QPushButton::clicked, this, &QDialog::reject);
    connect(edtPATHNEWPROJECT, &PathEdit::browseRequested, this, &NewProjectDialog::browse);
}

QString NewProjectDialog::projectName() const { return projectNameFromTyped(edtNAMENEWPROJECT->text()); }

QString NewProjectDialog::mainPath() const { return edtPATHNEWPROJECT->text(); }

void NewProjectDialog::createClicked()
{
    const QString name = projectName();
    const QString problem = projectNameProblem(name);
    if (!problem.isEmpty()) {
        prompts_.message(windowTitle(), problem);
        edtNAMENEWPROJECT->setFocus();
        return;
    }
    if (QFileInfo::exists(projectFilePath(name))) {
        const auto answer = prompts_.question(
            QStringLiteral("Confirm"),
            QStringLiteral("Project \"%1\" already exists.\nOverwrite its settings?").arg(name),
            false);
        if (answer != Prompts::Answer::Yes) {
            edtNAMENEWPROJECT->setFocus();
            return;
        }
    }
    accept();
}

void NewProjectDialog::browse()
{
    const QString chosen = prompts_.chooseFolder(tr("Main path:"), mainPath());
    if (!chosen.isEmpty())
        edtPATHNEWPROJECT->setText(chosen);
}

int NewProjectDialog::showModal()
{
    if (showHook())
        return showHook()(*this);
    return exec();
}

void NewProjectDialog::setShowHook(ShowHook hook) { showHook() = std::move(hook); }

} // namespace tl
