// The stopwatch of the upgrade tool.
#include "upgrade/stopwatch.h"

#include <QCoreApplication>

#include <chrono>

namespace upgrade {
namespace {

int64_t Counter()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

void Stopwatch::Start()
{
    start_ = Counter();
    stop_ = Counter();
    overhead_ = stop_ - start_;
    frequency_ = 1000000000;
    stop_ = 0;
    start_ = Counter();
}

double Stopwatch::Stopp()
{
    stop_ = Counter();
    return ElapsedTime();
}

double Stopwatch::ElapsedTime() const
{
    const int64_t end = stop_ != 0 ? stop_ : Counter();
    return double(end - start_ - overhead_) / double(frequency_);
}

void Stopwatch::Wait(double timeInSeconds, bool withDoEvents)
{
    Start();
    while (ElapsedTime() <= timeInSeconds) {
        if (withDoEvents && QCoreApplication::instance()) QCoreApplication::processEvents();
    }
}

} // namespace upgrade
