#include "publish/threadtimer.h"

#include <QtGlobal>
#include <exception>

namespace tl {

TThreadTimer::TThreadTimer(QObject *parent) : QObject(parent)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, this, [this] { fire(); });
}

void TThreadTimer::setEnabled(bool enabled)
{
    m_enabled = enabled;
    restart();
}

void TThreadTimer::setInterval(int milliseconds)
{
    m_interval = milliseconds;
    restart();
}

void TThreadTimer::setOnTimer(TTimerEvent handler)
{
    m_onTimer = std::move(handler);
    restart();
}

void TThreadTimer::restart()
{
    m_timer.stop();
    if (m_enabled && m_interval > 0 && m_onTimer)
        m_timer.start(m_interval);
}

void TThreadTimer::fire()
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
