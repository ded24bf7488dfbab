#include "windowfixture.h"

#include "core/programfiles.h"
#include "ui/publish/publishingcontroller.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>

namespace tl::test {

QAction *action(const QObject &owner, const char *name) { return control<QAction>(owner, name); }

namespace {
// QLineEdit calls its property "text", the path fields "Text".
const char *textProperty(const QObject *o)
{
    return o->metaObject()->indexOfProperty("text") >= 0 ? "text" : "Text";
}
} // namespace

QStringList queuedFiles(MainWindow &window)
{
    window.publishing().queue();
    const QAbstractItemModel *model = control<QAbstractItemView>(window, "lstFILESFTP")->model();
    QStringList out;
    for (int row = 0; row < model->rowCount(); ++row)
        out << model->index(row, 0).data(Qt::UserRole).toString();
    return out;
}

QString fieldText(const QObject &owner, const char *name)
{
    const QObject *o = control<QObject>(owner, name);
    return o->property(textProperty(o)).toString();
}

void setFieldText(const QObject &owner, const char *name, const QString &text)
{
    QObject *o = control<QObject>(owner, name);
    o->setProperty(textProperty(o), text);
}

WindowFixture::WindowFixture()
{
    setProgramFolderOverride(programFolder().toStdString());
    hadHome_ = qEnvironmentVariableIsSet("HOME");
    hadDataHome_ = qEnvironmentVariableIsSet("XDG_DATA_HOME");
    savedHome_ = qgetenv("HOME");
    savedDataHome_ = qgetenv("XDG_DATA_HOME");
    QDir().mkpath(home_.path() + "/.local/share");
    qputenv("HOME", QFile::encodeName(home_.path()));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home_.path() + "/.local/share"));
}

WindowFixture::~WindowFixture()
{
    stop();
    setProgramFolderOverride(std::string());
    if (hadHome_)
        qputenv("HOME", savedHome_);
    else
        qunsetenv("HOME");
    if (hadDataHome_)
        qputenv("XDG_DATA_HOME", savedDataHome_);
    else
        qunsetenv("XDG_DATA_HOME");
}

QString WindowFixture::programFolder() const { return dir_.path() + "/"; }

QString WindowFixture::trashFolder() const { return home_.path() + "/.local/share/Trash/files"; }

MainWindow &WindowFixture::start(bool show)
{
    window_ = std::make_unique<MainWindow>();
    auto p = std::make_unique<ScriptedPrompts>();
    prompts_ = p.get();
    window_->setPrompts(std::move(p));
    if (show) {
        window_->show();
        QApplication::processEvents();
    }
    return *window_;
}

void WindowFixture::stop()
{
    if (window_) {
        window_->close();
        window_.reset();
        prompts_ = nullptr;
    }
}

} // namespace tl::test
