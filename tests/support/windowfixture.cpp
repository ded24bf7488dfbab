#include "windowfixture.h"

#include "app/core/programfiles.h"

#include <QApplication>

namespace tl::test {

WindowFixture::WindowFixture() { setProgramFolderOverride(programFolder().toStdString()); }

WindowFixture::~WindowFixture()
{
    stop();
    setProgramFolderOverride(std::string());
}

QString WindowFixture::programFolder() const { return dir_.path() + "/"; }

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
