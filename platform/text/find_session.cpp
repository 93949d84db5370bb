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
    const bool changed = needle != lastNeedle_ || matchCase_ != lastMatchCase_;
    const std::int64_t from = direction == SearchDirection::Backward || changed ? selection.from : selection.to;
    lastNeedle_ = needle;
    lastMatchCase_ = matchCase_;
    search_.emplace(std::move(needle), matchCase_, direction, from);
}

std::optional<TextRange> FindSession::runPass(const TextStore& store)
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
