#include "platform/text/find_session.h"

#include <algorithm>
#include <utility>

const char* findStatusText(FindStatus status)
{
    switch (status) {
    case FindStatus::Searching:
        return "Searching...";
    case FindStatus::Wrapped:
        return "Wrapped";
    case FindStatus::NotFound:
        return "Not found";
    case FindStatus::None:
        break;
    }
    return "";
}

std::optional<std::string> parseHexBytes(std::u16string_view query)
{
    std::string bytes;
    int digits = 0; // of the group under way
    int high = 0;
    for (const char16_t c : query) {
        if (c == u' ' || c == u'\t') {
            if (digits % 2 != 0)
                return std::nullopt;
            digits = 0;
            continue;
        }
        int value = 0;
        if (c >= u'0' && c <= u'9')
            value = c - u'0';
        else if (c >= u'a' && c <= u'f')
            value = c - u'a' + 10;
        else if (c >= u'A' && c <= u'F')
            value = c - u'A' + 10;
        else
            return std::nullopt;
        if (++digits % 2 == 0)
            bytes += static_cast<char>(high << 4 | value);
        else
            high = value;
    }
    if (digits % 2 != 0 || bytes.empty())
        return std::nullopt;
    return bytes;
}

void FindSession::setQuery(std::u16string_view query, bool matchCase)
{
    query_.assign(query);
    matchCase_ = matchCase;
}

void FindSession::start(SearchDirection direction, TextRange selection)
{
    cancel();
    if (query_.empty()) {
        status_ = FindStatus::None;
        return;
    }
    // The views hold Latin-1 only: anything beyond it cannot be there.
    if (std::any_of(query_.begin(), query_.end(), [](char16_t c) { return c > 0xFF; })) {
        status_ = FindStatus::NotFound;
        return;
    }
    std::string needle(query_.size(), '\0');
    std::transform(query_.begin(), query_.end(), needle.begin(), [](char16_t c) { return static_cast<char>(c); });
    startNeedle(std::move(needle), matchCase_, false, direction, selection);
}

bool FindSession::startBytes(SearchDirection direction, TextRange selection)
{
    std::optional<std::string> needle = parseHexBytes(query_);
    if (!needle)
        return false;
    cancel();
    startNeedle(std::move(*needle), true, true, direction, selection);
    return true;
}

void FindSession::startNeedle(
    std::string needle, bool matchCase, bool bytes, SearchDirection direction, TextRange selection)
{
    const bool changed = needle != lastNeedle_ || matchCase != lastMatchCase_ || bytes != lastBytes_;
    const std::int64_t from = direction == SearchDirection::Backward || changed ? selection.from : selection.to;
    lastNeedle_ = needle;
    lastMatchCase_ = matchCase;
    lastBytes_ = bytes;
    searchingBytes_ = bytes;
    search_.emplace(std::move(needle), matchCase, direction, from);
}

std::optional<TextRange> FindSession::runPass(const TextSource& store)
{
    if (!search_)
        return std::nullopt;
    const auto began = std::chrono::steady_clock::now();
    for (int slices = 0; slices < kMaxSlicesPerPass && std::chrono::steady_clock::now() - began < kPassTime; ++slices) {
        const SearchState state = search_->step(store, kSliceBytes);
        if (state == SearchState::Running)
            continue;
        std::optional<TextRange> match;
        if (state == SearchState::Found) {
            match = search_->match();
            status_ = search_->wrapped() ? FindStatus::Wrapped : FindStatus::None;
        } else {
            status_ = FindStatus::NotFound;
        }
        search_.reset();
        return match;
    }
    status_ = FindStatus::Searching;
    return std::nullopt;
}

void FindSession::cancel()
{
    search_.reset();
}
