#include "publish/sockettimer.h"

#include <QtGlobal>
#include <exception>

namespace tl {

SocketTimer::SocketTimer(QObject *parent) : QObject(parent)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, this, [this] { fire(); });
}

void SocketTimer::setEnabled(bool enabled)
{
    m_enabled = enabled;
    restart();
}

void SocketTimer::setInterval(int milliseconds)
{
    m_interval = milliseconds;
    restart();
}

void SocketTimer::setOnTimer(TimerEvent handler)
{
    m_onTimer = std::move(handler);
    restart();
}

void SocketTimer::restart()
{
    m_timer.stop();
    if (m_enabled && m_interval > 0 && m_onTimer)
        m_timer.start(m_interval);
}

void SocketTimer::fire()
{
    if (!m_onTimer)
        return;
    // A failing handler must not unwind through the event loop.
    try {
        m_onTimer(this);
    } catch (const std::exception &e) {
        qWarning("Timer handler failed: %s", e.what());
    } catch (...) {
        qWarning("Timer handler failed");
    }
}

} // namespace tl
