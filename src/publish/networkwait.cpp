#include "publish/networkwait.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace tl {

namespace {

// The tick that bounds a look's sleep must be running while it sleeps.
void lookOnce(const NetworkWait::Hooks &hooks)
{
    if (!(hooks.ready && hooks.ready()))
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (hooks.after)
        hooks.after();
}

} // namespace

void NetworkWait::until(const std::function<bool()> &done, const std::function<void()> &check,
                        const Hooks &hooks)
{
    // One repeating tick for the whole wait rather than a timer per look.
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.start(kLookMs);
    for (;;) {
        if (done())
            return;
        if (check)
            check();
        lookOnce(hooks);
    }
}

void NetworkWait::look(const Hooks &hooks)
{
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.start(kLookMs);
    lookOnce(hooks);
}

} // namespace tl
