// How fast one direction's peer has been taking what the relay forwards, and so how long a queue
// of a given size will take to send: a receive pass stops reading in time for the sends of what it
// read to fit the tick.
#ifndef BRINDLE_CONSOLE_SEND_RATE_H
#define BRINDLE_CONSOLE_SEND_RATE_H

#include <chrono>
#include <cstdint>

class SendRate {
public:
    using Duration = std::chrono::steady_clock::duration;

    // One forwarding: `bytes` went out in `took`, waits for the peer's room included, so that a
    // peer slower than the relay is predicted as slow as it is.
    void Record(std::int64_t bytes, Duration took);
    // How long `bytes` will take at the rate seen lately; zero until a forwarding was timed.
    Duration Predict(std::int64_t bytes) const;

private:
    // Sums over the forwardings seen, each older one counting half as much as the one after it:
    // big forwardings weigh more than small ones, and a peer that changes pace is followed within
    // a few ticks.
    double bytes_ = 0;
    double nanoseconds_ = 0;
};

#endif
