// What a received chunk looks like in its traffic view: every byte escaped, lines wrapped at 120
// characters, CR LF line ends, and a frame around the chunk when its side asks for one. Views keep
// the bytes and these options, and make the text from them where it is read.
#ifndef BRINDLE_PLATFORM_TEXT_TRAFFIC_FORMAT_H
#define BRINDLE_PLATFORM_TEXT_TRAFFIC_FORMAT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The options in force for one chunk, those of the side that received it.
struct TrafficFormat {
    bool showCrLf = false; // "CRLF": CR and LF bytes also show as \r and \n
    bool frameBuffers = false; // "Buffers": the chunk goes between "BUF:" and a line break

    friend bool operator==(TrafficFormat, TrafficFormat) = default;
};

// The most characters a chunk of `length` bytes can become (plus the 8 bytes a form may overrun
// while it is written), for sizing the area FormatTraffic writes to.
constexpr std::size_t FormattedTrafficBound(std::size_t length)
{
    // "BUF:", five characters a byte, a line break after each 120 of them, the closing line break.
    return 4 + length * 5 + (length * 5 / 120 + 1) * 2 + 2 + 8;
}

// Writes the view text of one chunk to `out`, which holds FormattedTrafficBound(bytes.size())
// characters; returns how many it wrote. The text is what appending the chunk's pieces to the view
// one after the other makes: a piece is handed over once it holds 4096 characters, and each piece
// counts its line width from its own start.
std::size_t FormatTraffic(std::string_view bytes, TrafficFormat format, char* out);
// The same text as a string, for those that keep it.
std::string TrafficText(std::string_view bytes, TrafficFormat format);

// The most lines a chunk of `length` bytes can start: one per LF byte, one per wrap of its at most five
// characters a byte, and the one after the frame.
constexpr std::size_t TrafficLineStartsBound(std::size_t length)
{
    return length + length * 5 / 120 + 2;
}

struct TrafficExtent {
    std::size_t length; // characters FormatTraffic writes
    std::size_t lineStarts; // lines that start within them
};

// What FormatTraffic makes of the chunk, measured without writing it: its length, and into
// `lineStarts` (TrafficLineStartsBound(bytes.size()) entries) the offset of each character that
// follows a LF, counted from the chunk text's first character. A view that keeps received bytes
// indexes its lines from this and formats only the chunks it shows.
TrafficExtent ScanTraffic(std::string_view bytes, TrafficFormat format, std::uint32_t* lineStarts);

#endif
