// Received chunks waiting to be forwarded, one first-in first-out queue per direction.
#ifndef BRINDLE_CONSOLE_CAPTURE_QUEUE_H
#define BRINDLE_CONSOLE_CAPTURE_QUEUE_H

#include <cstddef>
#include <cstdint>
#include <deque>

#include "platform/sockets_layer.h"

class SystemServices;

// One received chunk in one allocation: a 32-bit length in host byte order, the bytes exactly as
// received, and a zero byte.
class CaptureBlock {
public:
    static constexpr std::size_t kOverhead = 5;

    explicit CaptureBlock(unsigned char* memory)
        : memory_(memory)
    { }

    std::int32_t Length() const;
    const char* Data() const { return reinterpret_cast<const char*>(memory_ + 4); }
    // The bytes the block takes: its length and kOverhead.
    std::size_t MemorySize() const { return static_cast<std::size_t>(Length()) + kOverhead; }

    // Lays a chunk out in memory of at least length + kOverhead bytes, every one of them written.
    static CaptureBlock Fill(unsigned char* memory, const char* bytes, std::int32_t length);

private:
    unsigned char* memory_;
};

// Owns its blocks: whatever is still queued when the queue goes is released with it.
class CaptureQueue {
public:
    explicit CaptureQueue(SystemServices& memory)
        : memory_(memory)
    { }
    ~CaptureQueue();
    CaptureQueue(const CaptureQueue&) = delete;
    CaptureQueue& operator=(const CaptureQueue&) = delete;

    // Copies a chunk to the tail; false when no memory could be had for it.
    bool Append(const char* bytes, std::int32_t length);
    bool IsEmpty() const { return blocks_.empty(); }
    std::size_t Count() const { return blocks_.size(); }
    // Marks `count` more bytes as sent, from the head on (at most QueuedBytes()): a gathered send
    // may take several blocks and the front of the next.
    void Consume(std::int64_t count);
    // What is still to send from the head on, block by block (the head from its first unsent byte),
    // into at most `maxPieces` pieces and `maxBytes` bytes; returns how many pieces it filled.
    int Gather(SendPiece* pieces, int maxPieces, std::int64_t maxBytes) const;
    // Bytes still to send, over all blocks together.
    std::int64_t QueuedBytes() const { return queuedBytes_; }

private:
    CaptureBlock Head() const { return CaptureBlock(blocks_.front()); }
    // Takes the head block out and releases it.
    void RemoveHead();
    // The part of the head block that has not been sent yet: a peer whose buffer was full may
    // have taken only the front of it.
    std::int32_t HeadUnsentLength() const { return Head().Length() - headSent_; }
    // Marks `count` more bytes of the head block (at most HeadUnsentLength()) as sent; the block is
    // released once all of it went.
    void ConsumeHead(std::int32_t count);

    SystemServices& memory_;
    std::deque<unsigned char*> blocks_;
    std::int64_t queuedBytes_ = 0;
    std::int32_t headSent_ = 0;
};

#endif
