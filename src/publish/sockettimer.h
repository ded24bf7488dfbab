#pragma once
#include <QObject>
#include <QTimer>
#include <functional>

namespace tl {

// A millisecond timer on the owner's thread. It runs only while Enabled is
// true, Interval is not 0 and OnTimer is assigned; changing any of the three
// restarts it. Despite its name it is an ordinary event-loop timer: the
// socket layer uses it for the time-out of name lookup and connection set-up.
class SocketTimer : public QObject {
public:
    using TimerEvent = std::function<void(SocketTimer *Sender)>;

    explicit SocketTimer(QObject *parent = nullptr);

    bool Enabled() const { return m_enabled; }
    void setEnabled(bool enabled);
    int Interval() const { return m_interval; }
    void setInterval(int milliseconds);
    const TimerEvent &OnTimer() const { return m_onTimer; }
    void setOnTimer(TimerEvent handler);

    bool isRunning() const { return m_timer.isActive(); }

private:
    void restart();
    void fire();

    QTimer m_timer;
    bool m_enabled = true;
    int m_interval = 1000;
    TimerEvent m_onTimer;
};

} // namespace tl
