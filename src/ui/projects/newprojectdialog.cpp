#include "ui/projects/newprojectdialog.h"

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

    nameEdit_ = new QLineEdit(this);
    nameEdit_->setObjectName(QStringLiteral("edtNAMENEWPROJECT"));
    mainPathEdit_ = new PathEdit(PathEdit::Folder, this);
    mainPathEdit_->setObjectName(QStringLiteral("edtPATHNEWPROJECT"));
    mainPathEdit_->setMinimumWidth(260);

    auto *form = new QFormLayout;
    form->addRow(tr("Name:"), nameEdit_);
    form->addRow(tr("Main path:"), mainPathEdit_);

    createButton_ = new QPushButton(tr("&Create"), this);
    createButton_->setObjectName(QStringLiteral("btnCREATE"));
    createButton_->setDefault(true);
    cancelButton_ = new QPushButton(tr("Cancel"), this);
    cancelButton_->setObjectName(QStringLiteral("btnCANCEL"));
    cancelButton_->setAutoDefault(false);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(createButton_);
    buttons->addWidget(cancelButton_);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);

    connect(createButton_, &QPushButton::clicked, this, &NewProjectDialog::createClicked);
    connect(cancelButton_, &QPushButton::clicked, this, &QDialog::reject);
    connect(mainPathEdit_, &PathEdit::browseRequested, this, &NewProjectDialog::browse);
}

QString NewProjectDialog::projectName() const { return projectNameFromTyped(nameEdit_->text()); }

QString NewProjectDialog::mainPath() const { return mainPathEdit_->text(); }

void NewProjectDialog::createClicked()
{
    const QString name = projectName();
    const QString problem = projectNameProblem(name);
    if (!problem.isEmpty()) {
        prompts_.message(windowTitle(), problem);
        nameEdit_->setFocus();
        return;
    }
    if (QFileInfo::exists(projectFilePath(name))) {
        const auto answer = prompts_.question(
            QStringLiteral("Confirm"),
            QStringLiteral("Project \"%1\" already exists.\nOverwrite its settings?").arg(name),
            false);
        if (answer != Prompts::Answer::Yes) {
            nameEdit_->setFocus();
            return;
        }
    }
    accept();
}

void NewProjectDialog::browse()
{
    const QString chosen = prompts_.chooseFolder(tr("Main path:"), mainPath());
    if (!chosen.isEmpty())
        mainPathEdit_->setText(chosen);
}

int NewProjectDialog::showModal()
{
    if (showHook())
        return showHook()(*this);
    return exec();
}

void NewProjectDialog::setShowHook(ShowHook hook) { showHook() = std::move(hook); }

} // namespace tl
