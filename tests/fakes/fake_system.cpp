#include "fake_system.h"

#include <cstdlib>

void FakeSystem::Sleep(std::chrono::milliseconds duration)
{
    slept += duration;
    ++sleepCalls;
    now_ += duration;
}

std::chrono::steady_clock::time_point FakeSystem::Now()
{
    now_ += stepPerNow_;
    return now_;
}

void* FakeSystem::Allocate(std::size_t size)
{
    if (failingAllocations_ > 0) {
        --failingAllocations_;
        return nullptr;
    }
    ++liveAllocations;
    return std::malloc(size);
}

void FakeSystem::Free(void* block, std::size_t)
{
    if (block != nullptr)
        --liveAllocations;
    std::free(block);
}
