// What a traffic view reads: characters by offset, and the same characters in lines. The store's text
// and the hex dump of its received bytes are both read this way, so that motion, find, painting and the
// accessibility interfaces work alike on either.
#ifndef BRINDLE_PLATFORM_TEXT_VIEW_TEXT_H
#define BRINDLE_PLATFORM_TEXT_VIEW_TEXT_H

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

// Single-byte characters at offsets [beginOffset(), endOffset()), read a stretch at a time.
class TextSource {
public:
    virtual std::int64_t beginOffset() const = 0;
    virtual std::int64_t endOffset() const = 0;
    std::int64_t size() const { return endOffset() - beginOffset(); }

    // Reads keep the last stretch at hand, so that stepping through the text costs no call a character.
    // Not safe from two threads at once.
    char at(std::int64_t offset) const
    {
        if (static_cast<std::uint64_t>(offset - read_.from) < static_cast<std::uint64_t>(read_.to - read_.from))
            return read_.data[offset - read_.from];
        return readable(offset)[0];
    }
    // [from, to) must lie within what is held.
    void copy(std::int64_t from, std::int64_t to, char* out) const
    {
        while (from < to) {
            const std::string_view piece = readable(from);
            const auto n = std::min<std::int64_t>(to - from, static_cast<std::int64_t>(piece.size()));
            std::memcpy(out, piece.data(), static_cast<std::size_t>(n));
            out += n;
            from += n;
        }
    }
    std::string text(std::int64_t from, std::int64_t to) const
    {
        std::string out(static_cast<std::size_t>(to - from), '\0');
        copy(from, to, out.data());
        return out;
    }
    std::string text() const { return text(beginOffset(), endOffset()); }

protected:
    // Characters a read may take at once, and where they are.
    struct ReadSpan {
        std::int64_t from = 0;
        std::int64_t to = 0;
        const char* data = nullptr;
    };

    ~TextSource() = default;
    // The characters from `offset` (within what is held) on that lie together, at least one; sets read_
    // to the stretch they lie in.
    virtual std::string_view readable(std::int64_t offset) const = 0;
    // Whoever changes what the span points at forgets it.
    void forgetRead() const { read_ = ReadSpan{}; }

    mutable ReadSpan read_;
};

// A line ends at LF; a CR right before the LF belongs to the line break. Lines are numbered from the
// first one held; there is always at least one.
class ViewText : public TextSource {
public:
    virtual std::int64_t lineCount() const = 0;
    // Lines dropped from the front: a reader holding line numbers subtracts the change.
    virtual std::int64_t droppedLines() const = 0;
    // Only ever grows while lines are dropped, so that a horizontal extent never shrinks under a reader.
    virtual std::int64_t longestLine() const = 0;
    virtual std::int64_t lineStart(std::int64_t line) const = 0;
    // Where the line's characters end, before its line break.
    virtual std::int64_t lineEnd(std::int64_t line) const = 0;
    // The line holding the offset; offsets past the end belong to the last line.
    virtual std::int64_t lineAt(std::int64_t offset) const = 0;

protected:
    ~ViewText() = default;
};

#endif
