#pragma once
// A high-resolution stopwatch over the monotonic clock, with the cost of one
// clock read measured at start and taken off every elapsed time.
#include <cstdint>

namespace upgrade {

class Stopwatch {
public:
    void Start();
    // Stops timing; returns the elapsed seconds.
    double Stopp();
    // Seconds since Start: the running time, or the stopped time after Stopp.
    double ElapsedTime() const;
    // Busy wait until more than timeInSeconds have passed; with withDoEvents
    // pending window events run on every pass.
    void Wait(double timeInSeconds, bool withDoEvents);

private:
    int64_t start_ = 0;
    int64_t stop_ = 0;       // 0 = not stopped
    int64_t frequency_ = 1;  // counts per second
    int64_t overhead_ = 0;   // cost of one counter read
};

} // namespace upgrade
