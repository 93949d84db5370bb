// Capture queues and forwarding: every received chunk waits in the queue of its direction until
// "Send" or a ticked "Auto" box sends it on, oldest first, consecutive chunks in one gathered send.
//
// Sending never blocks until a peer takes the data. A peer that does not read, or that streams both
// ways at once and sits in its own send to us while we would sit in ours, would otherwise hold the
// one thread that reads, draws and answers clicks, in the second case for good. A forwarding waits
// for a peer's room no longer than a receive pass may read; what the peer cannot take by then stays
// at the head of its queue, counted exactly, and later ticks send on what it takes then. A chunk
// leaves in more than one send only when the peer's buffer filled up inside it.
#include <algorithm>
#include <chrono>

#include "console/relay_dlg.h"
#include "platform/system_services.h"
#include "res/resource.h"

void CRelayDlg::Enqueue(const char* bytes, int length, CaptureQueue& queue)
{
    if (queue.Append(bytes, length))
        return;
    host_.MessageBox("Out of memory error.  Data not saved.");
}

CRelayDlg::SendResult CRelayDlg::SendQueue(CaptureQueue& queue, SocketHandle socket, std::int64_t limit)
{
    // A peer that reads keeps taking what it is given for as long as a receive pass may read, so
    // that a fast reader drains the queue in one tick as a blocking send would; one that does not
    // costs the tick no more than that.
    const auto passStart = system_.Now();
    const auto deadline = std::max(passStart + receiveBudget_.minPassTime, tickStart_ + receiveBudget_.tickTime);
    SendResult result;
    SendPiece pieces[kMaxIoPieces];
    while (result.sent < limit && !queue.IsEmpty()) {
        // Consecutive blocks leave in one gathered send, byte for byte as one send each would.
        const int count = queue.Gather(pieces, kMaxIoPieces, limit - result.sent);
        std::int64_t length = 0;
        for (int i = 0; i < count; ++i)
            length += pieces[i].length;
        // Chunks that go on together leave in full segments rather than one small one each.
        const bool moreFollows = result.sent + length < limit && queue.Count() > static_cast<std::size_t>(count);
        const int sent = sockets_.SendGather(socket, pieces, count, moreFollows ? kSendMoreFollows : 0);
        if (sent > 0) {
            result.sent += sent;
            queue.Consume(sent);
            continue;
        }
        // Anything but "would block" (the peer's buffer is full) means this connection is gone.
        // Either way the block stays at the head, whole or what is left of it, for a later tick or
        // the next forwarding in this direction; what went out before it still counts.
        if (sent < 0 && sockets_.LastError() != kWsaEwouldblock) {
            result.failed = true;
            break;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - system_.Now()).count();
        if (left <= 0 || sockets_.WaitWritable(socket, static_cast<int>(left)) != 1)
            break;
    }
    if (result.sent > 0)
        result.took = system_.Now() - passStart;
    return result;
}

bool CRelayDlg::SendRequested(Direction& half)
{
    ForwardRequest& request = half.request;
    if (request.bytes > 0) {
        const SendResult result = SendQueue(half.queue, half.peer, request.bytes);
        half.rate.Record(result.sent, result.took);
        UpdateCounter(half.sent, result.sent);
        // A failure ends this forwarding: the rest waits for the next "Send" or "Auto" tick.
        request.bytes = result.failed ? 0 : std::min(request.bytes - result.sent, half.queue.QueuedBytes());
    }
    return request.closeWhenSent && request.bytes == 0;
}

void CRelayDlg::Forward(Direction& half)
{
    if (!Connected(half))
        return;
    if (IsChecked(half.controls.clearOnSendBox) == 1)
        Clear(half);
    half.request.bytes = half.queue.QueuedBytes();
    Continue(half);
}

void CRelayDlg::Continue(Direction& half)
{
    if (Connected(half) && SendRequested(half))
        Disconnect(half);
}

SendRate::Duration CRelayDlg::ForwardingTime(const Direction& half, bool autoTicked)
{
    if (!Connected(half))
        return SendRate::Duration::zero();
    return half.rate.Predict(autoTicked ? half.queue.QueuedBytes() : half.request.bytes);
}

void CRelayDlg::CloseWhenSent(Direction& half)
{
    if (half.request.bytes == 0)
        Disconnect(half);
    else
        half.request.closeWhenSent = true;
}

void CRelayDlg::Clear(const Direction& half)
{
    host_.SetControlText(half.controls.view, "");
}

void CRelayDlg::OnAuto(const Direction& half, bool sendAllowed, bool disconnectAllowed)
{
    const bool byHand = IsChecked(half.controls.autoBox) != 1;
    if (!byHand || sendAllowed)
        EnableControl(half.controls.sendButton, byHand);
    if (half.controls.connectButton != 0)
        EnableControl(half.controls.connectButton, byHand);
    if (!byHand || disconnectAllowed)
        EnableControl(half.controls.disconnectButton, byHand);
}
