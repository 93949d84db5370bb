#include "platform/text/text_search.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <utility>

namespace {

// Latin-1 folded to lower case: A-Z and the accented capitals, except the multiplication sign.
constexpr std::array<char, 256> kLowerCase = [] {
    std::array<char, 256> table{};
    for (int c = 0; c < 256; ++c) {
        const bool upper = (c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7);
        table[static_cast<std::size_t>(c)] = static_cast<char>(upper ? c + 0x20 : c);
    }
    return table;
}();

void foldCase(std::string& bytes)
{
    for (char& c : bytes)
        c = kLowerCase[static_cast<unsigned char>(c)];
}

} // namespace

TextSearch::TextSearch(std::string needle, bool matchCase, SearchDirection direction, std::int64_t from)
    : needle_(std::move(needle))
    , matchCase_(matchCase)
    , direction_(direction)
    , origin_(from)
    , next_(from)
{
    if (!matchCase_)
        foldCase(needle_);
    if (needle_.empty())
        state_ = SearchState::NotFound;
}

std::int64_t TextSearch::findIn(const TextSource& store, std::int64_t from, std::int64_t to, bool last)
{
    const std::int64_t bytesTo = std::min(store.endOffset(), to + needleSize() - 1);
    if (from >= to || bytesTo - from < needleSize())
        return -1;
    window_.resize(static_cast<std::size_t>(bytesTo - from));
    store.copy(from, bytesTo, window_.data());
    if (!matchCase_)
        foldCase(window_);
    const std::string_view haystack(window_);
    const auto lastStart = static_cast<std::size_t>(to - 1 - from);
    std::size_t at = haystack.find(needle_);
    if (at == std::string_view::npos || at > lastStart)
        return -1;
    // Forward finds run on memchr; string_view::rfind compares at every position, several times slower.
    for (std::size_t later = at; last && (later = haystack.find(needle_, at + 1)) <= lastStart;)
        at = later;
    return from + static_cast<std::int64_t>(at);
}

SearchState TextSearch::step(const TextSource& store, std::int64_t maxStarts)
{
    if (state_ != SearchState::Running)
        return state_;
    const std::int64_t slice = std::max<std::int64_t>(1, maxStarts);
    const std::int64_t begin = store.beginOffset();
    const std::int64_t end = store.endOffset();
    std::int64_t found = -1;

    if (direction_ == SearchDirection::Forward) {
        // Before wrapping the starts run up to the end as it is now; after, up to where the search began.
        const std::int64_t limit = wrapped_ ? std::min(origin_, end) : end;
        next_ = std::clamp(next_, begin, std::max(begin, limit));
        const std::int64_t to = next_ + std::min(slice, limit - next_);
        found = findIn(store, next_, to, false);
        next_ = to;
        if (found < 0 && next_ >= limit) {
            if (wrapped_) {
                state_ = SearchState::NotFound;
                return state_;
            }
            wrapped_ = true;
            next_ = begin;
        }
    } else {
        // Before wrapping the starts run down to the store's start; after, down to where the search began.
        const std::int64_t limit = wrapped_ ? std::clamp(origin_, begin, end) : begin;
        next_ = std::clamp(next_, limit, end);
        const std::int64_t from = next_ - std::min(slice, next_ - limit);
        found = findIn(store, from, next_, true);
        next_ = from;
        if (found < 0 && next_ <= limit) {
            if (wrapped_) {
                state_ = SearchState::NotFound;
                return state_;
            }
            wrapped_ = true;
            next_ = end;
        }
    }

    if (found >= 0) {
        match_ = {found, found + needleSize()};
        state_ = SearchState::Found;
    }
    return state_;
}
