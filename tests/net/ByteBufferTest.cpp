#include "net/ByteBuffer.h"

#include <gtest/gtest.h>

#include <cstring>

namespace morvanta::test {
namespace {

TEST(ByteBuffer, KeepsTheOrderOfBytesThroughManyAppendsAndExtracts)
{
    ByteBuffer buffer;
    std::string expected;
    std::string taken;
    for (int round = 0; round < 200; ++round) {
        std::string piece = std::to_string(round) + ",";
        buffer.Append(piece);
        expected += piece;
        taken += buffer.Extract(static_cast<size_t>(round % 3));
    }
    taken += buffer.ExtractAll();
    EXPECT_EQ(taken, expected);
    EXPECT_TRUE(buffer.Empty());
}

TEST(ByteBuffer, ReceivesIntoPreparedRoomAndKeepsOnlyTheCommittedBytes)
{
    ByteBuffer buffer;
    buffer.Append("ab");
    buffer.Remove(1);
    char* room = buffer.PrepareAppend(100);
    std::memcpy(room, "cde", 3);
    buffer.CommitAppend(3);
    EXPECT_EQ(buffer.View(), "bcde");
}

} // namespace
} // namespace morvanta::test
