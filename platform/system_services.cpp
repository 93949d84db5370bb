#include "system_services.h"

#include <cstdlib>
#include <thread>

void RealSystemServices::Sleep(std::chrono::milliseconds duration)
{
    std::this_thread::sleep_for(duration);
}

std::chrono::steady_clock::time_point RealSystemServices::Now()
{
    return std::chrono::steady_clock::now();
}

void* RealSystemServices::Calloc(std::size_t count, std::size_t size)
{
    return std::calloc(count, size);
}

void RealSystemServices::Free(void* block)
{
    std::free(block);
}
