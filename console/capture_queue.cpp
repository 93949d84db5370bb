#include "capture_queue.h"

#include <algorithm>
#include <cstring>

#include "platform/system_services.h"

std::int32_t CaptureBlock::Length() const
{
    std::int32_t length;
    std::memcpy(&length, memory_, sizeof length);
    return length;
}

CaptureBlock CaptureBlock::Fill(unsigned char* memory, const char* bytes, std::int32_t length)
{
    std::memcpy(memory, &length, sizeof length);
    std::memcpy(memory + 4, bytes, static_cast<std::size_t>(length));
    memory[4 + length] = 0;
    return CaptureBlock(memory);
}

CaptureQueue::~CaptureQueue()
{
    for (unsigned char* block : blocks_)
        memory_.Free(block, CaptureBlock(block).MemorySize());
}

bool CaptureQueue::Append(const char* bytes, std::int32_t length)
{
    auto* memory
        = static_cast<unsigned char*>(memory_.Allocate(static_cast<std::size_t>(length) + CaptureBlock::kOverhead));
    if (memory == nullptr)
        return false;
    CaptureBlock::Fill(memory, bytes, length);
    blocks_.push_back(memory);
    queuedBytes_ += length;
    return true;
}

void CaptureQueue::RemoveHead()
{
    unsigned char* block = blocks_.front();
    queuedBytes_ -= CaptureBlock(block).Length() - headSent_;
    headSent_ = 0;
    blocks_.pop_front();
    memory_.Free(block, CaptureBlock(block).MemorySize());
}

void CaptureQueue::ConsumeHead(std::int32_t count)
{
    if (count >= HeadUnsentLength()) {
        RemoveHead();
        return;
    }
    headSent_ += count;
    queuedBytes_ -= count;
}

void CaptureQueue::Consume(std::int64_t count)
{
    while (count > 0 && !IsEmpty()) {
        const std::int32_t taken = static_cast<std::int32_t>(std::min<std::int64_t>(count, HeadUnsentLength()));
        ConsumeHead(taken);
        count -= taken;
    }
}

int CaptureQueue::Gather(SendPiece* pieces, int maxPieces, std::int64_t maxBytes) const
{
    int count = 0;
    std::int32_t skip = headSent_;
    for (auto block = blocks_.begin(); block != blocks_.end() && count < maxPieces && maxBytes > 0; ++block) {
        const CaptureBlock chunk(*block);
        const auto length = static_cast<int>(std::min<std::int64_t>(chunk.Length() - skip, maxBytes));
        pieces[count++] = SendPiece{chunk.Data() + skip, length};
        maxBytes -= length;
        skip = 0;
    }
    return count;
}
