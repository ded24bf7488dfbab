#pragma once

namespace tl {

// "Now" as a date-time value (days since 1899-12-30, fraction = time of day)
// in local wall-clock time. Tests install a fixed clock.
class Clock {
public:
    virtual ~Clock() = default;
    virtual double now() const = 0;
};

// The clock the program uses; the system clock unless a test set another.
const Clock &clock();
// Installs a clock (not owned); nullptr restores the system clock.
void setClock(const Clock *c);

// A clock that always answers the value it was given.
class FixedClock : public Clock {
public:
    explicit FixedClock(double v) : value(v) {}
    double now() const override { return value; }
    double value;
};

} // namespace tl
