// What a received chunk looks like in its traffic view: every byte escaped, lines wrapped at 120
// characters, CR LF line ends, and a frame around the chunk when its side asks for one. Views keep
// the bytes and these options, and make the text from them where it is read.
#ifndef BRINDLE_PLATFORM_TEXT_TRAFFIC_FORMAT_H
#define BRINDLE_PLATFORM_TEXT_TRAFFIC_FORMAT_H

#include <cstddef>
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

#endif
