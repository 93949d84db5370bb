// The find of a traffic view, free of any toolkit: the query and its case option as the find bar holds
// them, where each search starts, the search run in slices bounded in time so that the window's event
// loop keeps turning between them, and the status the bar shows.
#ifndef BRINDLE_PLATFORM_TEXT_FIND_SESSION_H
#define BRINDLE_PLATFORM_TEXT_FIND_SESSION_H

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/text/text_motion.h"
#include "platform/text/text_search.h"
#include "platform/text/text_store.h"

enum class FindStatus { None, Searching, Wrapped, NotFound };

// What the find bar shows for the status: "", "Searching...", "Wrapped", "Not found".
const char* findStatusText(FindStatus status);

// The bytes a query of hex pairs names ("de ad be ef", "deadbeef", "dead beef"), or nothing when it is
// anything else: an odd digit in a group, a character that is no hex digit.
std::optional<std::string> parseHexBytes(std::u16string_view query);

class FindSession {
public:
    // Every slice tries this many starts at a time, and one pass tries slices until either bound.
    static constexpr std::int64_t kSliceBytes = std::int64_t{1} << 20;
    static constexpr std::chrono::milliseconds kPassTime{20};
    static constexpr int kMaxSlicesPerPass = 64;

    // The find field's text as UTF-16 and its case option; the search is not started.
    void setQuery(std::u16string_view query, bool matchCase);
    bool hasQuery() const { return !query_.empty(); }

    // Starts a search from the selection: forward from its end when the query is the one searched last,
    // else from its start, so that a changed query can match what is selected. Cancels one under way.
    void start(SearchDirection direction, TextRange selection);
    // The same for the bytes a query of hex pairs names, over received bytes and their positions; false,
    // with nothing started, when the query is not such a one.
    bool startBytes(SearchDirection direction, TextRange selection);
    bool searchingBytes() const { return searchingBytes_; }
    // One pass of slices. The match, once found; the status says how it ended.
    std::optional<TextRange> runPass(const TextSource& store);
    bool running() const { return search_.has_value(); }
    void cancel();
    FindStatus status() const { return status_; }

private:
    void startNeedle(std::string needle, bool matchCase, bool bytes, SearchDirection direction, TextRange selection);

    std::u16string query_;
    bool matchCase_ = false;
    // What the last search looked for.
    std::string lastNeedle_;
    bool lastMatchCase_ = false;
    bool lastBytes_ = false;
    bool searchingBytes_ = false;
    std::optional<TextSearch> search_;
    FindStatus status_ = FindStatus::None;
};

#endif
