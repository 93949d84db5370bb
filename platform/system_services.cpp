#include "system_services.h"

#include <cstdlib>
#include <thread>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

RealSystemServices::RealSystemServices()
{
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

void* RealSystemServices::Allocate(std::size_t size)
{
    return std::malloc(size);
}

void RealSystemServices::Free(void* block)
{
    std::free(block);
}
