// What appending relayed traffic costs a traffic view, per MiB in 4 KB pieces, while it already holds
// 1 MiB, 64 MiB or a full 256 MiB (so that every step drops old lines); what a full store costs per MiB
// of received bytes, and what measuring them costs beside formatting them; and what finding in a full
// view costs, per step and per pass of the event loop.
#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdint>
#include <fstream>
#include <malloc.h>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

#include "platform/qt/find_bar.h"
#include "platform/qt/traffic_view.h"
#include "platform/saved_file.h"
#include "platform/text/received_save.h"
#include "platform/text/text_search.h"
#include "platform/text/text_store.h"
#include "platform/text/traffic_format.h"
#include "platform/text/traffic_scan_paths.h"
#include "platform/text/traffic_view_model.h"

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

// Received bytes as the relay hands them over: random bytes, or HTTP-like requests and headers.
std::string receivedBytes(bool random, std::size_t bytes)
{
    std::string out;
    out.reserve(bytes + 256);
    std::uint32_t seed = 777;
    for (int request = 0; out.size() < bytes; ++request) {
        if (random) {
            seed = seed * 1664525u + 1013904223u;
            out += static_cast<char>(seed >> 24);
            continue;
        }
        out += "GET /items/" + std::to_string(request)
            + "?view=full HTTP/1.1\r\nHost: example.test\r\nUser-Agent: bench/1.0\r\nAccept: */*\r\n"
              "Cookie: session=0123456789abcdef; theme=dark\r\n\r\n";
    }
    out.resize(bytes);
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

// Received chunks into a full store (256 MiB of view text, dropping as it goes), per MiB of received
// bytes in 4096-byte chunks.
void storeAppendTraffic(benchmark::State& state)
{
    const bool random = state.range(0) != 0;
    const std::string step = receivedBytes(random, kMiB);
    TextStore store;
    while (store.size() < TextStore::kDefaultCapacity - static_cast<std::int64_t>(4 * kMiB)) {
        for (std::size_t at = 0; at < step.size(); at += kPiece)
            store.appendTraffic(std::string_view(step).substr(at, kPiece), TrafficFormat{});
    }
    for (auto _ : state) {
        for (std::size_t at = 0; at < step.size(); at += kPiece)
            store.appendTraffic(std::string_view(step).substr(at, kPiece), TrafficFormat{});
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kMiB));
    state.counters["held_MiB"] = static_cast<double>(store.size()) / kMiB;
    state.counters["store_bytes_per_char"]
        = static_cast<double>(store.memoryUsage()) / static_cast<double>(store.size());
}

// The model of a full view taking received random bytes a tick at a time (256 chunks, 1 MiB), each
// tick followed by what a paint reads: the 50 lines shown at the end, 140 columns each.
void modelTrafficPaint(benchmark::State& state)
{
    const std::string step = receivedBytes(true, kMiB);
    TrafficViewModel model;
    model.setPage(50, 140);
    while (model.store().size() < TextStore::kDefaultCapacity - static_cast<std::int64_t>(4 * kMiB)) {
        for (std::size_t at = 0; at < step.size(); at += kPiece)
            model.appendTraffic(std::string_view(step).substr(at, kPiece), TrafficFormat{});
    }
    std::string line;
    std::size_t painted = 0;
    for (auto _ : state) {
        for (std::size_t at = 0; at < step.size(); at += kPiece)
            model.appendTraffic(std::string_view(step).substr(at, kPiece), TrafficFormat{});
        model.flush();
        for (std::int64_t row = 0; row < model.pageLines(); ++row) {
            model.printableText(model.visibleLine(model.topLine() + row), line);
            painted += line.size();
        }
    }
    benchmark::DoNotOptimize(painted);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kMiB));
}

// Measuring received chunks (length and line starts) beside formatting them, per MiB of random bytes
// (and, for the scan, of HTTP-like text too).
void trafficFormat(benchmark::State& state)
{
    const std::string bytes = receivedBytes(true, kMiB);
    std::string out(FormattedTrafficBound(kPiece), '\0');
    std::size_t total = 0;
    for (auto _ : state) {
        for (std::size_t at = 0; at < bytes.size(); at += kPiece)
            total += FormatTraffic(std::string_view(bytes).substr(at, kPiece), TrafficFormat{}, out.data());
        benchmark::DoNotOptimize(total);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kMiB));
}

// The scan by each of its paths (0 portable, 1 SSE2, 2 AVX2, 3 AVX-512); ScanTraffic takes the
// widest that runs.
void trafficScan(benchmark::State& state)
{
    const std::string bytes = receivedBytes(state.range(0) != 0, kMiB);
    const auto path = static_cast<TrafficScanPath>(state.range(1));
    if (!TrafficScanPathRuns(path)) {
        state.SkipWithError("this processor does not run the path");
        return;
    }
    std::vector<std::uint32_t> lineStarts(TrafficLineStartsBound(kPiece));
    std::size_t total = 0;
    for (auto _ : state) {
        for (std::size_t at = 0; at < bytes.size(); at += kPiece)
            total += ScanTrafficBy(path, std::string_view(bytes).substr(at, kPiece), TrafficFormat{}, lineStarts.data())
                         .length;
        benchmark::DoNotOptimize(total);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kMiB));
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

// Not in the traffic, so that every search reads the whole text and wraps.
constexpr const char* kAbsent = "GET /nowhere";
constexpr std::int64_t kSearchStep = std::int64_t{1} << 20;
constexpr std::int64_t kFullView = TextStore::kDefaultCapacity;

// One iteration is one search through a full store, 1 MiB a step, as the view takes them.
void searchFullStore(benchmark::State& state, const TextStore& store)
{
    const bool matchCase = state.range(0) != 0;
    const auto direction = state.range(1) != 0 ? SearchDirection::Backward : SearchDirection::Forward;
    double longestStepMs = 0;
    std::int64_t steps = 0;
    for (auto _ : state) {
        TextSearch search(kAbsent, matchCase, direction, store.endOffset() / 2);
        QElapsedTimer step;
        do {
            step.start();
            search.step(store, kSearchStep);
            longestStepMs = std::max(longestStepMs, static_cast<double>(step.nsecsElapsed()) / 1e6);
            ++steps;
        } while (search.state() == SearchState::Running);
        if (search.state() != SearchState::NotFound)
            state.SkipWithError("found what is not there");
    }
    state.SetBytesProcessed(state.iterations() * store.size());
    state.counters["steps"] = static_cast<double>(steps) / static_cast<double>(state.iterations());
    state.counters["longest_step_ms"] = longestStepMs;
}

// Received random bytes, a receive's worth at a time, until a store or view is all but full.
template<typename Target, typename HeldSize> void fillWithReceivedBytes(Target& target, HeldSize held)
{
    const std::string step = receivedBytes(true, kMiB);
    while (held() < kFullView - static_cast<std::int64_t>(4 * kMiB)) {
        for (std::size_t at = 0; at < step.size(); at += kPiece)
            target.appendTraffic(std::string_view(step).substr(at, kPiece), TrafficFormat{});
    }
}

void storeSearch(benchmark::State& state)
{
    TextStore store;
    store.append(formattedTraffic(static_cast<std::size_t>(kFullView)));
    searchFullStore(state, store);
}

// The same through a full store of received random bytes, whose text the search formats as it reads.
void storeSearchTraffic(benchmark::State& state)
{
    TextStore store;
    fillWithReceivedBytes(store, [&] { return store.size(); });
    searchFullStore(state, store);
}

// From Enter in the find field of a shown, full view to "Not found": the longest pass of the event
// loop is how long the window froze at most.
void findInView(benchmark::State& state, TrafficView& view)
{
    view.resize(1000, 700);
    view.show();
    returnToEventLoop();
    view.openFind();
    FindBar* bar = view.findBar();
    bar->field()->setText(QString::fromLatin1(kAbsent));
    double longestPassMs = 0;
    std::int64_t passes = 0;
    for (auto _ : state) {
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QElapsedTimer pass;
        pass.start();
        QCoreApplication::sendEvent(bar->field(), &enter);
        // Bounded: a search that has not ended after this many passes or seconds is a failure.
        for (int i = 0; i < 100000 && bar->status() != QStringLiteral("Not found"); ++i) {
            longestPassMs = std::max(longestPassMs, static_cast<double>(pass.nsecsElapsed()) / 1e6);
            pass.start();
            QCoreApplication::processEvents();
            ++passes;
        }
        longestPassMs = std::max(longestPassMs, static_cast<double>(pass.nsecsElapsed()) / 1e6);
        if (bar->status() != QStringLiteral("Not found"))
            state.SkipWithError("the search did not end");
        state.PauseTiming();
        bar->setStatus(QString());
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * view.characterCount());
    state.counters["passes"] = static_cast<double>(passes) / static_cast<double>(state.iterations());
    state.counters["longest_pass_ms"] = longestPassMs;
}

void viewFind(benchmark::State& state)
{
    TrafficView view;
    view.setText(formattedTraffic(static_cast<std::size_t>(kFullView)));
    findInView(state, view);
}

// The same in a view full of received random bytes, whose text the search formats as it reads.
void viewFindTraffic(benchmark::State& state)
{
    TrafficView view;
    fillWithReceivedBytes(view, [&] { return static_cast<std::int64_t>(view.characterCount()); });
    findInView(state, view);
}

// A full view of received random bytes switched to its hex dump and back, each switch followed by what a
// paint reads: the 50 lines shown, 140 columns each. The memory the dump adds is measured in hex mode,
// after a paint, against what the view holds.
void modelHexToggle(benchmark::State& state)
{
    TrafficViewModel model;
    model.setPage(50, 140);
    fillWithReceivedBytes(model, [&] { return model.store().size(); });
    model.flush();
    const std::int64_t residentBefore = residentBytes();
    std::string line;
    std::size_t painted = 0;
    double longestToggleMs = 0;
    auto paint = [&] {
        for (std::int64_t row = 0; row < model.pageLines(); ++row) {
            model.printableText(model.visibleLine(model.topLine() + row), line);
            painted += line.size();
        }
    };
    for (auto _ : state) {
        for (const bool hex : {true, false}) {
            QElapsedTimer toggle;
            toggle.start();
            model.setHex(hex);
            model.flush();
            paint();
            longestToggleMs = std::max(longestToggleMs, static_cast<double>(toggle.nsecsElapsed()) / 1e6);
        }
    }
    model.setHex(true);
    paint();
    benchmark::DoNotOptimize(painted);
    const double held = static_cast<double>(model.heldStore().memoryUsage());
    state.counters["held_MiB"] = static_cast<double>(model.heldStore().size()) / kMiB;
    state.counters["received_MiB"]
        = static_cast<double>(model.heldStore().receivedEnd() - model.heldStore().receivedBegin()) / kMiB;
    state.counters["store_MiB"] = held / kMiB;
    state.counters["longest_toggle_ms"] = longestToggleMs;
    state.counters["hex_added_percent"] = static_cast<double>(residentBytes() - residentBefore) * 100 / held;
}

// "Save As..." of a full view of HTTP-like traffic, its text and bytes alike about 256 MiB, while the
// window keeps taking 1 MiB of traffic a pass: what the user-interface thread spends starting the save,
// and its longest pass until the file is written.
void saveFullView(benchmark::State& state)
{
    TrafficViewModel model;
    const std::string step = receivedBytes(false, kMiB);
    while (model.store().size() < kFullView - static_cast<std::int64_t>(4 * kMiB)) {
        for (std::size_t at = 0; at < step.size(); at += kPiece)
            model.appendTraffic(std::string_view(step).substr(at, kPiece), TrafficFormat{});
    }
    const std::string path = "/tmp/brindle_view_bench_save.bin";
    double startMs = 0;
    double longestPassMs = 0;
    std::int64_t saved = 0;
    for (auto _ : state) {
        QElapsedTimer pass;
        pass.start();
        SaveError error = SaveError::None;
        std::unique_ptr<SavedFile> file = CreateSavedFile(path, &error);
        if (!file) {
            state.SkipWithError("the file could not be made");
            break;
        }
        ByteSnapshot bytes = model.heldStore().receivedSnapshot();
        saved = bytes.size();
        ReceivedSave save(std::move(bytes), std::move(file), nullptr);
        startMs = std::max(startMs, static_cast<double>(pass.nsecsElapsed()) / 1e6);
        // Bounded: a save that has not ended after this many passes is a failure.
        for (int i = 0; i < 100000 && !save.finished(); ++i) {
            pass.start();
            for (std::size_t at = 0; at < step.size(); at += kPiece)
                model.appendTraffic(std::string_view(step).substr(at, kPiece), TrafficFormat{});
            model.flush();
            longestPassMs = std::max(longestPassMs, static_cast<double>(pass.nsecsElapsed()) / 1e6);
        }
        if (!save.finished() || save.result() != SaveError::None)
            state.SkipWithError("the save did not succeed");
    }
    ::unlink(path.c_str());
    state.SetBytesProcessed(state.iterations() * saved);
    state.counters["saved_MiB"] = static_cast<double>(saved) / kMiB;
    state.counters["start_ms"] = startMs;
    state.counters["longest_pass_ms"] = longestPassMs;
}

} // namespace

BENCHMARK(storeAppend)
    ->ArgName("held_MiB")
    ->Arg(1)
    ->Arg(64)
    ->Arg(256)
    ->Iterations(kIterations)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(storeAppendTraffic)->ArgName("random")->Arg(1)->Arg(0)->Iterations(256)->Unit(benchmark::kMillisecond);
BENCHMARK(modelTrafficPaint)->Iterations(256)->Unit(benchmark::kMillisecond);
BENCHMARK(trafficFormat)->Iterations(kIterations)->Unit(benchmark::kMillisecond);
BENCHMARK(trafficScan)
    ->ArgNames({"random", "path"})
    ->ArgsProduct({{1, 0}, {0, 1, 2, 3}})
    ->Iterations(kIterations)
    ->Unit(benchmark::kMillisecond);
// With the relay's 100 ms tick, 4096 appends (16 MiB, its receive budget) a tick is the most it takes
// in, 256 (1 MiB) is bulk traffic at 10 MB/s, and 64 paints four times as often for the same text.
BENCHMARK(viewAppend)
    ->ArgNames({"held_MiB", "appends_per_pass"})
    ->ArgsProduct({{1, 64, 256}, {4096, 256, 64}})
    ->Iterations(kIterations)
    ->Unit(benchmark::kMillisecond);

BENCHMARK(storeSearch)
    ->ArgNames({"match_case", "backward"})
    ->ArgsProduct({{1, 0}, {0, 1}})
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(storeSearchTraffic)
    ->ArgNames({"match_case", "backward"})
    ->ArgsProduct({{1, 0}, {0, 1}})
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(viewFind)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(viewFindTraffic)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(modelHexToggle)->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK(saveFullView)->Iterations(3)->Unit(benchmark::kMillisecond);

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
