#include "mailer/SavedMessage.h"

#include "fixtures/TestFiles.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

using namespace morvanta;
using namespace morvanta::test;

namespace {

using Lines = std::vector<std::string>;

TEST(SavedMessageTest, SplitsAtEveryKindOfLineEnd)
{
    struct Case {
        const char* name;
        std::string content;
        Lines expected;
    };
    const Case cases[] = {
        { "CR LF", "Received: from a\r\nSubject: x\r\n\r\nbody\r\n", { "Received: from a", "Subject: x", "", "body" } },
        { "LF", "Received: from a\nSubject: x\n\nbody\n", { "Received: from a", "Subject: x", "", "body" } },
        { "CR", "Received: from a\rSubject: x\r\rbody\r", { "Received: from a", "Subject: x", "", "body" } },
        { "mixed", "a\r\nb\nc\rd", { "a", "b", "c", "d" } },
        { "no final line end", "one\r\ntwo", { "one", "two" } },
        { "trailing empty line", "one\n\n", { "one", "" } },
        { "empty file", "", {} },
    };
    TempDir folder;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(folder / "message.eml", c.content);
        EXPECT_EQ(ReadSavedMessage(folder / "message.eml"), c.expected);
    }
}

TEST(SavedMessageTest, KeepsBinaryBytesAsTheyAre)
{
    TempDir folder;
    const std::string binary("\x00\x01\xff\xfe\r\n\x80z\x00", 9);
    WriteFile(folder / "binary.bin", binary);

    Lines lines = ReadSavedMessage(folder / "binary.bin");

    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], std::string("\x00\x01\xff\xfe", 4));
    EXPECT_EQ(lines[1], std::string("\x80z\x00", 3));
}

TEST(SavedMessageTest, RefusesWhatIsNotARegularFileWithoutBlocking)
{
    TempDir folder;
    const std::string fifo = folder / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ::mkdir((folder / "sub").c_str(), 0700);

    struct Case {
        const char* name;
        std::string path;
    };
    const Case cases[] = {
        { "FIFO with no writer", fifo },
        { "folder", folder / "sub" },
        { "character device", "/dev/zero" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            (void)ReadSavedMessage(c.path);
            ADD_FAILURE() << "loaded";
        } catch (const SavedMessageError& error) {
            EXPECT_EQ(std::string(error.what()),
                      c.path + " is not a regular file; only a saved message can be loaded.");
        }
    }
}

TEST(SavedMessageTest, RefusesAFileOverTheSizeLimit)
{
    TempDir folder;
    const std::string path = folder / "huge.eml";
    WriteFile(path, "x");
    // Sparse: no disk space is used.
    ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(MaxSavedMessageBytes + 1)), 0);
    try {
        (void)ReadSavedMessage(path);
        ADD_FAILURE() << "loaded";
    } catch (const SavedMessageError& error) {
        EXPECT_EQ(std::string(error.what()),
                  path + " is too large to be a message: it holds 52428801 bytes, more than 50 MB.");
    }

    ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(MaxSavedMessageBytes)), 0);
    EXPECT_EQ(ReadSavedMessage(path).size(), 1u);
}

TEST(SavedMessageTest, AMissingFileSaysSo)
{
    TempDir folder;
    try {
        (void)ReadSavedMessage(folder / "gone.eml");
        ADD_FAILURE() << "loaded";
    } catch (const SavedMessageError& error) {
        EXPECT_EQ(std::string(error.what()), "Could not read " + (folder / "gone.eml") + ": No such file or directory");
    }
}

} // namespace
