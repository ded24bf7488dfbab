#include "core/clock.h"

#include <QDateTime>

namespace tl {

namespace {
class SystemClock : public Clock {
public:
    double now() const override
    {
        // Local wall-clock date and time, turned into days since 1899-12-30
        // with plain calendar arithmetic.
        const QDateTime dt = QDateTime::currentDateTime();
        const QDate d = dt.date();
        const QTime t = dt.time();
        const qint64 days = d.toJulianDay() - QDate(1899, 12, 30).toJulianDay();
        const double frac = (t.hour() * 3600.0 + t.minute() * 60.0 + t.second()
                             + t.msec() / 1000.0) / 86400.0;
        return static_cast<double>(days) + frac;
    }
};
SystemClock systemClock;
const Clock *current = nullptr;
} // namespace

const Clock &clock() { return current ? *current : systemClock; }
void setClock(const Clock *c) { current = c; }

} // namespace tl
