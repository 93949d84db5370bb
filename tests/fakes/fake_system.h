// A system that never really sleeps: its clock moves only when slept on or advanced by the
// test, and its allocator can be told to fail.
#ifndef BRINDLE_TESTS_FAKE_SYSTEM_H
#define BRINDLE_TESTS_FAKE_SYSTEM_H

#include <chrono>
#include <cstddef>

#include "platform/system_services.h"

class FakeSystem final : public SystemServices {
public:
    void Sleep(std::chrono::milliseconds duration) override;
    std::chrono::steady_clock::time_point Now() override;
    void* Allocate(std::size_t size) override;
    void Free(void* block, std::size_t size) override;

    void Advance(std::chrono::milliseconds duration) { now_ += duration; }
    // Each call of Now() moves the clock on by this much, to model time spent reading.
    void SetTickPerNow(std::chrono::milliseconds step) { stepPerNow_ = step; }
    void FailAllocations(int count) { failingAllocations_ = count; }

    std::chrono::milliseconds slept{0};
    int sleepCalls = 0;
    int liveAllocations = 0;

private:
    std::chrono::steady_clock::time_point now_{};
    std::chrono::milliseconds stepPerNow_{0};
    int failingAllocations_ = 0;
};

#endif
