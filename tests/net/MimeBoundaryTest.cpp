#include "net/MimeBoundary.h"

#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>
#include <vector>

namespace morvanta {
namespace {

// Hands out the given values in turn, then the last one for ever.
RandomSource Scripted(std::vector<double> values)
{
    auto index = std::make_shared<size_t>(0);
    return [values = std::move(values), index] {
        double value = values[std::min(*index, values.size() - 1)];
        ++*index;
        return value;
    };
}

TEST(MakeMimeBoundary, LowestValuesGiveDigitZeroAndThePairInFront)
{
    EXPECT_EQ(MakeMimeBoundary(Scripted({ 0.0 })), "=_" + std::string(32, '0'));
}

TEST(MakeMimeBoundary, HighestValuesGiveLetterZAndThePairAtTheEnd)
{
    EXPECT_EQ(MakeMimeBoundary(Scripted({ 0.9999 })), std::string(32, 'z') + "=_");
}

TEST(MakeMimeBoundary, EveryDigitAndLetterCanOccurAndNothingElse)
{
    std::set<char> seen;
    for (int step = 0; step < 1000; ++step) {
        std::string boundary = MakeMimeBoundary(Scripted({ step / 1000.0, 0.5 }));
        seen.insert(boundary[0]);
    }
    std::set<char> expected;
    for (int c = 0; c < 256; ++c) {
        if (std::isalnum(c))
            expected.insert(static_cast<char>(c));
    }
    EXPECT_EQ(seen, expected);
}

TEST(MakeMimeBoundary, PairPositionFollowsTheLastValue)
{
    std::vector<double> values(34, 0.5);
    values.push_back(10.5 / 32); // k = truncate(10.5 + 1.5) = 12
    std::string boundary = MakeMimeBoundary(Scripted(values));
    ASSERT_EQ(boundary.size(), 34u);
    EXPECT_EQ(boundary.find("=_"), 11u);
    EXPECT_EQ(boundary.find_first_not_of("=_" + std::string(1, boundary[0])), std::string::npos);
}

TEST(MimeBoundary, StaysTheSameForTheRestOfTheProcess)
{
    MimeBoundary::Reset();
    std::string first = MimeBoundary::Get();
    EXPECT_EQ(first.size(), static_cast<size_t>(MimeBoundaryLength));
    size_t pair = first.find("=_");
    ASSERT_NE(pair, std::string::npos);
    EXPECT_LE(pair, 32u);
    EXPECT_EQ(MimeBoundary::Get(), first);
}

TEST(MimeBoundary, ResetWithASourceMakesTheNextBoundaryFromIt)
{
    MimeBoundary::Reset(Scripted({ 0.0 }));
    EXPECT_EQ(MimeBoundary::Get(), "=_" + std::string(32, '0'));
    MimeBoundary::Reset();
}

} // namespace
} // namespace morvanta
