#include "console/send_rate.h"

#include <algorithm>

void SendRate::Record(std::int64_t bytes, Duration took)
{
    // A forwarding that moved nothing, or faster than the clock can tell, says nothing of the rate.
    const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(took).count();
    if (bytes <= 0 || nanoseconds <= 0)
        return;
    bytes_ = bytes_ / 2 + static_cast<double>(bytes);
    nanoseconds_ = nanoseconds_ / 2 + static_cast<double>(nanoseconds);
}

SendRate::Duration SendRate::Predict(std::int64_t bytes) const
{
    if (bytes <= 0 || bytes_ <= 0)
        return Duration::zero();
    // An hour is past any tick; the cap keeps a queue far bigger than its peer's pace finite.
    constexpr double kLongest = 3600e9;
    const double nanoseconds = std::min(static_cast<double>(bytes) * nanoseconds_ / bytes_, kLongest);
    return std::chrono::duration_cast<Duration>(std::chrono::nanoseconds(static_cast<std::int64_t>(nanoseconds)));
}
