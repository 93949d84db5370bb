#include "platform/text/text_search.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <tuple>

namespace {

constexpr std::int64_t kNotFound = -1;
// Enough steps for any row at the smallest step size; a search that needs more is a fault.
constexpr int kMaxSteps = 4'000'000;

// Offsets: "GET /a" at 0, "(x1b)" at 8, "\r\n" marks at 13, "get /B" at 19 after the CR LF at 17,
// "\xC9t\xC9" (Latin-1 "ÉtÉ") at 26.
const std::string kText = "GET /a  (x1b)\\r\\n\r\nget /B \xC9t\xC9 end";

// The needle straddles the first chunk boundary of the store.
std::string acrossChunks()
{
    return std::string(static_cast<std::size_t>(TextStore::kChunkBytes) - 3, 'x') + "needle" + "xyz";
}

struct SearchCase {
    const char* name;
    std::string text;
    std::string needle;
    bool matchCase;
    SearchDirection direction;
    std::int64_t from;
    std::int64_t expected;
    bool wrapped;
};

void PrintTo(const SearchCase& c, std::ostream* out)
{
    *out << c.name;
}

SearchState runToEnd(TextSearch& search, const TextStore& store, std::int64_t stepSize)
{
    for (int i = 0; i < kMaxSteps && search.step(store, stepSize) == SearchState::Running; ++i) { }
    return search.state();
}

// Every row at several step sizes, so that slice edges fall inside matches and between them.
class TextSearchFinds : public testing::TestWithParam<std::tuple<SearchCase, std::int64_t>> { };

TEST_P(TextSearchFinds, MatchAndWrapAsShown)
{
    const auto& [c, stepSize] = GetParam();
    TextStore store;
    ASSERT_TRUE(store.append(c.text));
    TextSearch search(c.needle, c.matchCase, c.direction, c.from);
    const SearchState state = runToEnd(search, store, stepSize);
    if (c.expected == kNotFound) {
        EXPECT_EQ(state, SearchState::NotFound);
        return;
    }
    ASSERT_EQ(state, SearchState::Found);
    EXPECT_EQ(search.match().from, c.expected);
    EXPECT_EQ(search.match().to, c.expected + static_cast<std::int64_t>(c.needle.size()));
    EXPECT_EQ(search.wrapped(), c.wrapped);
}

using Dir = SearchDirection;

INSTANTIATE_TEST_SUITE_P(Rows, TextSearchFinds,
    testing::Combine(
        testing::Values(SearchCase{"forward from the start", kText, "GET", true, Dir::Forward, 0, 0, false},
            SearchCase{"forward skips a match before the start", kText, "/", true, Dir::Forward, 5, 23, false},
            SearchCase{"case option off matches either case", kText, "get /b", false, Dir::Forward, 1, 19, false},
            SearchCase{"case option on keeps case apart", kText, "get /b", true, Dir::Forward, 0, kNotFound, false},
            SearchCase{"Latin-1 letters fold", kText, "\xE9T\xE9", false, Dir::Forward, 0, 26, false},
            SearchCase{"inside an escape", kText, "x1b", true, Dir::Forward, 0, 9, false},
            SearchCase{"visible marks are text", kText, "\\r\\n", true, Dir::Forward, 0, 13, false},
            SearchCase{"forward wraps to the start", kText, "GET", true, Dir::Forward, 1, 0, true},
            SearchCase{"a match overlapping the start is before it", kText, "GET /a", true, Dir::Forward, 2, 0, true},
            SearchCase{"backward finds the last before the start", kText, "/", false, Dir::Backward, 23, 4, false},
            SearchCase{"backward wraps to the end", kText, "get", false, Dir::Backward, 0, 19, true},
            SearchCase{"backward from the end", kText, "e", false, Dir::Backward, 33, 30, false},
            SearchCase{"not found after a full wrap", kText, "absent", false, Dir::Forward, 7, kNotFound, false},
            SearchCase{"not found backward", kText, "absent", false, Dir::Backward, 7, kNotFound, false},
            SearchCase{"empty needle", kText, "", false, Dir::Forward, 0, kNotFound, false},
            SearchCase{"longer than the text", "ab", "abc", false, Dir::Forward, 0, kNotFound, false},
            SearchCase{"start past the end", kText, "GET", true, Dir::Forward, 1000, 0, true},
            SearchCase{"across a chunk boundary", acrossChunks(), "needle", true, Dir::Forward, 0,
                TextStore::kChunkBytes - 3, false},
            SearchCase{"across a chunk boundary backward", acrossChunks(), "needle", true, Dir::Backward,
                TextStore::kChunkBytes + 6, TextStore::kChunkBytes - 3, false}),
        testing::Values(std::int64_t{1}, std::int64_t{5}, std::int64_t{1} << 20)));

TEST(TextSearch, SkipsTextDroppedFromTheFront)
{
    for (const SearchDirection direction : {Dir::Forward, Dir::Backward}) {
        SCOPED_TRACE(direction == Dir::Forward ? "forward" : "backward");
        TextStore store;
        store.setCapacity(4096);
        ASSERT_TRUE(store.append("old\r\n" + std::string(2000, '.') + "\r\nkept\r\n"));
        const std::int64_t keptAt = store.endOffset() - 6;
        TextSearch old("old", true, direction, store.endOffset() - 1);
        ASSERT_EQ(old.step(store, 1), SearchState::Running);
        // Past capacity the lines up to "kept" go.
        ASSERT_TRUE(store.append(std::string(2100, ',') + "\r\n"));
        ASSERT_EQ(store.beginOffset(), keptAt);
        EXPECT_EQ(runToEnd(old, store, 64), SearchState::NotFound);

        TextSearch kept("kept", true, direction, store.endOffset() - 1);
        ASSERT_EQ(kept.step(store, 1), SearchState::Running);
        ASSERT_EQ(runToEnd(kept, store, 64), SearchState::Found);
        EXPECT_EQ(kept.match().from, keptAt);
    }
}

TEST(TextSearch, ForwardTakesInTextAppendedBeforeItWraps)
{
    TextStore store;
    ASSERT_TRUE(store.append(std::string(100, '.')));
    TextSearch search("late", true, SearchDirection::Forward, 50);
    ASSERT_EQ(search.step(store, 10), SearchState::Running);
    ASSERT_TRUE(store.append("..late"));
    ASSERT_EQ(runToEnd(search, store, 10), SearchState::Found);
    EXPECT_EQ(search.match().from, 102);
    EXPECT_FALSE(search.wrapped());
}

} // namespace
