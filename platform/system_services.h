// The few services of the operating system the relay logic uses besides sockets and the window:
// a sleep, a monotonic clock and heap memory. Injected so that tests can run without
// waiting and can make an allocation fail.
#ifndef BRINDLE_PLATFORM_SYSTEM_SERVICES_H
#define BRINDLE_PLATFORM_SYSTEM_SERVICES_H

#include <chrono>
#include <cstddef>

class SystemServices {
public:
    virtual ~SystemServices() = default;

    virtual void Sleep(std::chrono::milliseconds duration) = 0;
    virtual std::chrono::steady_clock::time_point Now() = 0;
    // `size` bytes of memory, their contents unset, or nullptr when there is none to be had. The
    // caller fills every byte it keeps: zero-filling memory about to be overwritten costs as much
    // as the copy itself.
    virtual void* Allocate(std::size_t size) = 0;
    virtual void Free(void* block) = 0;
};

// The real thing: the thread sleeps, the steady clock, the C heap.
class RealSystemServices final : public SystemServices {
public:
    RealSystemServices();
    void Sleep(std::chrono::milliseconds duration) override;
    std::chrono::steady_clock::time_point Now() override;
    void* Allocate(std::size_t size) override;
    void Free(void* block) override;
};

#endif
