// The received bytes a view holds as a hex dump, made where it is read: a line for every 16 bytes of
// the stream, each with its offset, the bytes in hex with a gap after eight, and a column of one cell a
// byte. Lines keep that fixed stride whatever the chunks were, so a line's place in the dump is worked
// out from its number instead of looked up, and a dump over hundreds of megabytes costs nothing to show.
// A chunk framed by "Buffers" is marked where it starts: a '*' after the offset of its line and a '>'
// before its byte, marks of the dump's text and not bytes. The text ends without a line break; the last
// line's cells fill in as bytes arrive.
#ifndef BRINDLE_PLATFORM_TEXT_HEX_DUMP_H
#define BRINDLE_PLATFORM_TEXT_HEX_DUMP_H

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/text/text_motion.h"
#include "platform/text/text_store.h"
#include "platform/text/view_text.h"

class HexDump final : public ViewText {
public:
    static constexpr std::int64_t kBytesPerLine = 16;
    static constexpr int kOffsetDigits = 12;
    static constexpr std::int64_t kFirstHexColumn = kOffsetDigits + 2;
    static constexpr std::int64_t kPrintableColumn = kFirstHexColumn + 3 * kBytesPerLine + 2;
    static constexpr std::int64_t kLineLength = kPrintableColumn + kBytesPerLine;
    static constexpr std::int64_t kLineStride = kLineLength + 1;

    explicit HexDump(const TextStore& store);
    HexDump(const HexDump&) = delete;
    HexDump& operator=(const HexDump&) = delete;

    // After the store changed: what was read from it is read again.
    void refresh() const;

    std::int64_t beginOffset() const override { return firstLine() * kLineStride; }
    std::int64_t endOffset() const override { return lastLine() * kLineStride + lineLength(lastLine()); }
    std::int64_t lineCount() const override { return lastLine() - firstLine() + 1; }
    std::int64_t droppedLines() const override { return firstLine(); }
    std::int64_t longestLine() const override;
    std::int64_t lineStart(std::int64_t line) const override { return (firstLine() + line) * kLineStride; }
    std::int64_t lineEnd(std::int64_t line) const override;
    std::int64_t lineAt(std::int64_t offset) const override;

    // The column of byte j (0 to 15) of a line's hex.
    static constexpr std::int64_t hexColumn(std::int64_t j) { return kFirstHexColumn + 3 * j + (j >= 8 ? 1 : 0); }
    // The received byte whose cell holds the offset, or the first of its line in the offset column.
    std::int64_t receivedAt(std::int64_t offset) const;
    // The dump's text from the hex cell of received byte `from` to the end of that of byte `to` - 1.
    TextRange cellsOf(std::int64_t from, std::int64_t to) const;
    // The received bytes themselves, at their received positions, for finding byte strings.
    const TextSource& receivedBytes() const { return bytes_; }

private:
    class ReceivedBytes final : public TextSource {
    public:
        explicit ReceivedBytes(const TextStore& store)
            : store_(store)
        { }
        std::int64_t beginOffset() const override { return store_.receivedBegin(); }
        std::int64_t endOffset() const override { return store_.receivedEnd(); }
        void forget() const { forgetRead(); }

    private:
        std::string_view readable(std::int64_t offset) const override;
        const TextStore& store_;
    };

    std::int64_t firstLine() const { return store_.receivedBegin() / kBytesPerLine; }
    std::int64_t lastLine() const;
    std::int64_t lineLength(std::int64_t absoluteLine) const;
    // Writes the line's text, lineLength() characters, to `out`.
    void formatLine(std::int64_t absoluteLine, char* out) const;
    std::string_view readable(std::int64_t offset) const override;

    const TextStore& store_;
    ReceivedBytes bytes_;
    // The lines last read, made a block at a time.
    mutable std::string lines_;
};

#endif
