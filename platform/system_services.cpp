#include "system_services.h"

#include <cstdlib>
#include <thread>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

RealSystemServices::RealSystemServices(std::size_t recycledSize)
    : recycledSize_(recycledSize)
    , maxRecycled_(recycledSize > 0 ? kMaxRecycledBytes / recycledSize : 0)
{
    recycled_.reserve(maxRecycled_); // keeping a block never allocates
#if defined(__GLIBC__)
    // Bulk traffic frees each tick's queue blocks, tens of megabytes, right after sending them.
    // Handing that memory back to the system only to fault it in again next tick costs more than
    // the copies; the peak stays what the busiest tick needed.
    mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);
#endif
}

void RealSystemServices::Sleep(std::chrono::milliseconds duration)
{
    std::this_thread::sleep_for(duration);
}

std::chrono::steady_clock::time_point RealSystemServices::Now()
{
    return std::chrono::steady_clock::now();
}

RealSystemServices::~RealSystemServices()
{
    for (void* block : recycled_)
        std::free(block);
}

void* RealSystemServices::Allocate(std::size_t size)
{
    if (size == recycledSize_ && !recycled_.empty()) {
        void* block = recycled_.back();
        recycled_.pop_back();
        return block;
    }
    return std::malloc(size);
}

void RealSystemServices::Free(void* block, std::size_t size)
{
    if (block != nullptr && size == recycledSize_ && recycled_.size() < maxRecycled_)
        recycled_.push_back(block);
    else
        std::free(block);
}
