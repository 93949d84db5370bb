// Find in a view's text in bounded steps, so that a view can search hundreds of megabytes between passes
// of its event loop while traffic keeps arriving.
#ifndef BRINDLE_PLATFORM_TEXT_TEXT_SEARCH_H
#define BRINDLE_PLATFORM_TEXT_TEXT_SEARCH_H

#include <cstdint>
#include <string>

#include "platform/text/text_motion.h"
#include "platform/text/text_store.h"

enum class SearchDirection { Forward, Backward };

enum class SearchState { Running, Found, NotFound };

// Forward, the first match starting at or after `from`, else (wrapping) the first one starting before
// it. Backward, the last match starting before `from`, else (wrapping) the last one starting at or after
// it. Every start in the store is tried once. Between steps the store may drop text from its front, which
// is then skipped, and grow at its end: a forward search takes in what arrives until it wraps.
class TextSearch {
public:
    // Without matchCase, Latin-1 letters match either case. An empty needle matches nothing.
    TextSearch(std::string needle, bool matchCase, SearchDirection direction, std::int64_t from);

    // Tries at most maxStarts (at least one) further starts; the store must be the same one, not cleared
    // since the search began.
    SearchState step(const TextSource& store, std::int64_t maxStarts);
    SearchState state() const { return state_; }
    // Valid once the state is Found.
    TextRange match() const { return match_; }
    // Whether the search went past the end (or, backward, the start) of the text.
    bool wrapped() const { return wrapped_; }

private:
    std::int64_t needleSize() const { return static_cast<std::int64_t>(needle_.size()); }
    // The first (or last) match starting in [from, to) of the store, or -1.
    std::int64_t findIn(const TextSource& store, std::int64_t from, std::int64_t to, bool last);

    std::string needle_;
    bool matchCase_;
    SearchDirection direction_;
    std::int64_t origin_;
    // The next start to try: moving up forward, and down (exclusive) backward.
    std::int64_t next_;
    bool wrapped_ = false;
    SearchState state_ = SearchState::Running;
    TextRange match_;
    std::string window_;
};

#endif
