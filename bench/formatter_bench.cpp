// Display formatter throughput, in bytes of received input per second.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <string_view>

#include "platform/text/traffic_format.h"

namespace {

enum class Input { Printable, HttpText, RandomBytes };

std::string MakeInput(Input kind, std::size_t size)
{
    std::mt19937 random(42);
    std::string bytes;
    bytes.reserve(size);
    if (kind == Input::RandomBytes) {
        while (bytes.size() < size)
            bytes += static_cast<char>(random());
    } else if (kind == Input::Printable) {
        while (bytes.size() < size)
            bytes += static_cast<char>(0x20 + random() % 95);
    } else {
        const std::string lines[] = {"HTTP/1.1 200 OK\r\n", "Content-Type: text/html; charset=utf-8\r\n",
            "<p>The quick brown fox jumps over the lazy dog.</p>\r\n",
            "<a href=\"/some/longer/path/index.html?query=value&other=1\">link</a>\r\n"};
        while (bytes.size() < size)
            bytes += lines[random() % 4];
        bytes.resize(size);
    }
    return bytes;
}

constexpr std::size_t kChunk = 4096; // what one receive takes at most

void FormatChunks(benchmark::State& state, Input kind, int crlf, int buffers)
{
    const TrafficFormat format{crlf != 0, buffers != 0};
    const std::string input = MakeInput(kind, 1 << 20);
    std::string text(FormattedTrafficBound(kChunk), '\0');
    std::size_t written = 0;
    for (auto _ : state) {
        for (std::size_t offset = 0; offset < input.size(); offset += kChunk)
            written += FormatTraffic(std::string_view(input).substr(offset, kChunk), format, text.data());
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(input.size()));
    state.counters["view_chars_per_input_byte"]
        = static_cast<double>(written) / static_cast<double>(state.iterations() * input.size());
}

BENCHMARK_CAPTURE(FormatChunks, printable, Input::Printable, 0, 0);
BENCHMARK_CAPTURE(FormatChunks, http_text, Input::HttpText, 0, 0);
BENCHMARK_CAPTURE(FormatChunks, http_text_crlf_buffers, Input::HttpText, 1, 1);
BENCHMARK_CAPTURE(FormatChunks, random_bytes, Input::RandomBytes, 0, 0);

} // namespace

BENCHMARK_MAIN();
