#include <cstddef>
#include <gtest/gtest.h>
#include <vector>

#include "platform/system_services.h"

namespace {

// Blocks of the recycled size come back for the next ones of that size, up to the bound; other
// sizes are the heap's, and every block stays writable whole.
TEST(RealSystemServicesTest, RecyclesFreedBlocksOfItsSizeOnly)
{
    constexpr std::size_t kSize = 4101;
    RealSystemServices system(kSize);
    void* block = system.Allocate(kSize);
    ASSERT_NE(block, nullptr);
    system.Free(block, kSize);
    EXPECT_EQ(system.Allocate(kSize), block);

    const std::size_t bound = RealSystemServices::kMaxRecycledBytes / kSize;
    std::vector<void*> blocks{block};
    while (blocks.size() < bound + 2)
        blocks.push_back(system.Allocate(kSize));
    for (void* b : blocks) {
        ASSERT_NE(b, nullptr);
        static_cast<char*>(b)[kSize - 1] = 1;
        system.Free(b, kSize);
    }
    // The last two freed went back to the heap: the bound holds, and what is kept is handed out
    // newest first.
    void* reused = system.Allocate(kSize);
    EXPECT_EQ(reused, blocks[bound - 1]);
    system.Free(reused, kSize);

    void* other = system.Allocate(100);
    ASSERT_NE(other, nullptr);
    system.Free(other, 100);
    system.Free(nullptr, kSize);
}

} // namespace
