// The few services of the operating system the relay logic uses besides sockets and the window:
// a sleep, a monotonic clock and heap memory. Injected so that tests can run without
// waiting and can make an allocation fail.
#ifndef BRINDLE_PLATFORM_SYSTEM_SERVICES_H
#define BRINDLE_PLATFORM_SYSTEM_SERVICES_H

#include <chrono>
#include <cstddef>
#include <vector>

class SystemServices {
public:
    virtual ~SystemServices() = default;

    virtual void Sleep(std::chrono::milliseconds duration) = 0;
    virtual std::chrono::steady_clock::time_point Now() = 0;
    // `size` bytes of memory, their contents unset, or nullptr when there is none to be had. The
    // caller fills every byte it keeps: zero-filling memory about to be overwritten costs as much
    // as the copy itself.
    virtual void* Allocate(std::size_t size) = 0;
    // Gives back a block that Allocate returned for `size` bytes.
    virtual void Free(void* block, std::size_t size) = 0;
};

// The real thing: the thread sleeps, the steady clock, the C heap. Freed blocks of
// `recycledSize` bytes are kept, up to kMaxRecycledBytes of them, for the next blocks of that
// size: the relay allocates and frees one such block for every full read, and under bulk traffic
// the heap's own splitting and merging of them costs as much as copying the bytes.
class RealSystemServices final : public SystemServices {
public:
    static constexpr std::size_t kMaxRecycledBytes = std::size_t{64} << 20;

    explicit RealSystemServices(std::size_t recycledSize = 0);
    ~RealSystemServices() override;
    RealSystemServices(const RealSystemServices&) = delete;
    RealSystemServices& operator=(const RealSystemServices&) = delete;

    void Sleep(std::chrono::milliseconds duration) override;
    std::chrono::steady_clock::time_point Now() override;
    void* Allocate(std::size_t size) override;
    void Free(void* block, std::size_t size) override;

private:
    const std::size_t recycledSize_;
    const std::size_t maxRecycled_;
    std::vector<void*> recycled_;
};

#endif
