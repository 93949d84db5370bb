#include "capture_queue.h"

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
    return CaptureBlock(memory);
}

CaptureQueue::~CaptureQueue()
{
    for (unsigned char* block : blocks_)
        memory_.Free(block);
}

bool CaptureQueue::Append(const char* bytes, std::int32_t length)
{
    auto* memory
        = static_cast<unsigned char*>(memory_.Calloc(static_cast<std::size_t>(length) + CaptureBlock::kOverhead, 1));
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
    memory_.Free(block);
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
