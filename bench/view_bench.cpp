// What appending relayed traffic costs a traffic view, per MiB in 4 KB pieces, while it already holds
// 1 MiB, 64 MiB or a full 256 MiB (so that every step drops old lines).
#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <benchmark/benchmark.h>
#include <cstdint>
#include <fstream>
#include <malloc.h>
#include <string>
#include <string_view>
#include <unistd.h>

#include "platform/qt/traffic_view.h"
#include "platform/text/text_store.h"

namespace {

constexpr std::size_t kMiB = std::size_t{1} << 20;
constexpr std::size_t kPiece = 4096;
constexpr std::size_t kLine = 120;
constexpr int kIterations = 512;

// Text shaped as the relay shows traffic: a request-like printable run, then binary bytes as "(xN)"
// escapes, cut into 120-character lines with CR LF.
std::string formattedTraffic(std::size_t bytes)
{
    std::string raw;
    std::uint32_t seed = 12345;
    while (raw.size() < 64 * 1024) {
        raw += "GET /index.html?id=12345 HTTP/1.1 Host: example.test Accept: */* ";
        for (int i = 0; i < 48; ++i) {
            seed = seed * 1664525u + 1013904223u;
            const unsigned value = seed >> 24;
            raw += value >= 0x20 && value <= 0x7E ? std::string(1, static_cast<char>(value))
                                                  : "(x" + std::to_string(value) + ")";
        }
    }
    std::string pattern;
    for (std::size_t at = 0; at + kLine <= raw.size(); at += kLine)
        pattern.append(raw, at, kLine).append("\r\n");

    std::string out;
    out.reserve(bytes);
    while (out.size() < bytes)
        out.append(pattern, 0, std::min(pattern.size(), bytes - out.size()));
    return out;
}

// Freed heap is handed back first, so that what an earlier benchmark left behind does not count as
// room for this one.
std::int64_t residentBytes()
{
    malloc_trim(0);
    std::ifstream statm("/proc/self/statm");
    std::int64_t size = 0;
    std::int64_t resident = 0;
    statm >> size >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

// Counts paints, to show that appends between two passes share one.
class PaintCounter : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
    std::int64_t paints = 0;
};

// One return to the event loop, which runs until it is idle: the paint that the view's once-a-pass
// flush asks for lands in the loop's next iteration.
void returnToEventLoop()
{
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

struct Load {
    explicit Load(std::int64_t heldMiB)
        : fill(formattedTraffic(static_cast<std::size_t>(heldMiB) * kMiB))
        , step(formattedTraffic(kMiB))
        , atCapacity(static_cast<std::int64_t>(fill.size()) >= TextStore::kDefaultCapacity)
        , refillAbove(static_cast<std::int64_t>(fill.size() + std::max(kMiB, fill.size() / 4)))
    { }
    const std::string fill;
    const std::string step;
    // Below capacity the view goes back to its starting size now and then, off the clock.
    const bool atCapacity;
    const std::int64_t refillAbove;
};

void reportMemory(benchmark::State& state, std::int64_t held, std::int64_t residentGrowth)
{
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kMiB));
    state.counters["held_MiB"] = static_cast<double>(held) / kMiB;
    state.counters["rss_bytes_per_char"] = static_cast<double>(residentGrowth) / static_cast<double>(held);
}

void storeAppend(benchmark::State& state)
{
    const Load load(state.range(0));
    const std::int64_t residentBefore = residentBytes();
    TextStore store;
    store.append(load.fill);
    for (auto _ : state) {
        if (!load.atCapacity && store.size() > load.refillAbove) {
            state.PauseTiming();
            store.clear();
            store.append(load.fill);
            state.ResumeTiming();
        }
        for (std::size_t at = 0; at < load.step.size(); at += kPiece)
            store.append(std::string_view(load.step).substr(at, kPiece));
    }
    reportMemory(state, store.size(), residentBytes() - residentBefore);
    state.counters["store_bytes_per_char"]
        = static_cast<double>(store.memoryUsage()) / static_cast<double>(store.size());
}

// The relay appends a tick's worth of pieces and returns to the event loop, which paints once.
void viewAppend(benchmark::State& state)
{
    const Load load(state.range(0));
    const auto appendsPerPass = static_cast<int>(state.range(1));
    const std::int64_t residentBefore = residentBytes();
    TrafficView view;
    view.resize(1000, 700);
    view.show();
    PaintCounter counter;
    view.viewport()->installEventFilter(&counter);
    view.setText(load.fill);
    returnToEventLoop();
    counter.paints = 0;

    int appends = 0;
    for (auto _ : state) {
        if (!load.atCapacity && view.characterCount() > load.refillAbove) {
            state.PauseTiming();
            const std::int64_t paints = counter.paints;
            view.setText(load.fill);
            returnToEventLoop();
            counter.paints = paints;
            state.ResumeTiming();
        }
        for (std::size_t at = 0; at < load.step.size(); at += kPiece) {
            view.appendText(std::string_view(load.step).substr(at, kPiece));
            if (++appends % appendsPerPass == 0)
                returnToEventLoop();
        }
    }
    returnToEventLoop();
    state.counters["paints_per_MiB"] = static_cast<double>(counter.paints) / static_cast<double>(state.iterations());
    reportMemory(state, view.characterCount(), residentBytes() - residentBefore);
}

} // namespace

BENCHMARK(storeAppend)
    ->ArgName("held_MiB")
    ->Arg(1)
    ->Arg(64)
    ->Arg(256)
    ->Iterations(kIterations)
    ->Unit(benchmark::kMillisecond);
// With the relay's 100 ms tick, 4096 appends (16 MiB, its receive budget) a tick is the most it takes
// in, 256 (1 MiB) is bulk traffic at 10 MB/s, and 64 paints four times as often for the same text.
BENCHMARK(viewAppend)
    ->ArgNames({"held_MiB", "appends_per_pass"})
    ->ArgsProduct({{1, 64, 256}, {4096, 256, 64}})
    ->Iterations(kIterations)
    ->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
