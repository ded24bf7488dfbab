#include "ui/prompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

namespace tl {

void QtPrompts::error(const QString &text)
{
    QMessageBox::critical(parent_, QApplication::applicationName(), text);
}

void QtPrompts::message(const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::Information,
                    title.isEmpty() ? QApplication::applicationName() : title, text,
                    QMessageBox::Ok, parent_);
    box.exec();
}

Prompts::Answer QtPrompts::question(const QString &title, const QString &text, bool withCancel,
                                    Answer defaultAnswer)
{
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::NoButton, parent_);
    QPushButton *yes = box.addButton(QObject::tr("&Yes"), QMessageBox::YesRole);
    QPushButton *no = box.addButton(QObject::tr("&No"), QMessageBox::NoRole);
    QPushButton *cancel = nullptr;
    if (withCancel)
        cancel = box.addButton(QObject::tr("Cancel"), QMessageBox::RejectRole);
    box.setDefaultButton(defaultAnswer == Answer::No ? no
                         : defaultAnswer == Answer::Cancel && cancel ? cancel
                                                                      : yes);
    box.setEscapeButton(withCancel ? static_cast<QAbstractButton *>(cancel) : no);
    box.exec();
    if (box.clickedButton() == yes)
        return Answer::Yes;
    if (box.clickedButton() == no)
        return Answer::No;
    return withCancel ? Answer::Cancel : Answer::No;
}

Prompts::Answer QtPrompts::saveChanges(const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::NoButton, parent_);
    QPushButton *save = box.addButton(QObject::tr("&Save"), QMessageBox::AcceptRole);
    QPushButton *discard = box.addButton(QObject::tr("&Discard"), QMessageBox::DestructiveRole);
    QPushButton *cancel = box.addButton(QObject::tr("Cancel"), QMessageBox::RejectRole);
    box.setDefaultButton(save);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == save)
        return Answer::Yes;
    if (box.clickedButton() == discard)
        return Answer::No;
    return Answer::Cancel;
}

QString QtPrompts::chooseFolder(const QString &caption, const QString &startDir)
{
    return QFileDialog::getExistingDirectory(parent_, caption, startDir);
}

QString QtPrompts::chooseFile(const QString &caption, const QString &startDir,
                              const QString &filter)
{
    return QFileDialog::getOpenFileName(parent_, caption, startDir, qtFileFilter(filter));
}

std::optional<QString> QtPrompts::askText(
    const QString &title, const QString &label, const QString &initial)
{
    bool ok = false;
    const QString text
        = QInputDialog::getText(parent_, title, label, QLineEdit::Normal, initial, &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

QString qtFileFilter(const QString &filter)
{
    // "Name (*.x)|*.x|Other (*.y)|*.y" -> "Name (*.x);;Other (*.y)"
    const QStringList parts = filter.split('|');
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString name = parts[i];
        if (!name.contains('('))
            name += " (" + parts[i + 1] + ")";
        out << name;
    }
    return out.isEmpty() ? filter : out.join(";;");
}

} // namespace tl
