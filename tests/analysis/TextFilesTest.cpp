#include "analysis/TextFiles.h"

#include "fixtures/RecordingUi.h"
#include "fixtures/TestFiles.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace morvanta {
namespace {

using test::ListFolder;
using morvanta::PathExists;
using test::ReadFile;
using test::RecordingUi;
using test::TempDir;
using test::WriteFile;

// A path that exists but whose reading fails (EIO), also for root.
constexpr const char* UnreadableFile = "/proc/self/mem";

void ExpectAccessError(const RecordingUi& ui, const std::string& path)
{
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Could not access " + path);
    EXPECT_EQ(ui.messages[0].title, "Access Error");
    EXPECT_EQ(ui.messages[0].buttons, MessageButtons::Ok);
    EXPECT_EQ(ui.messages[0].icon, MessageIcon::None);
}

TEST(AppendLineToFile, CreatesAMissingFileWithTheLine)
{
    TempDir dir;
    RecordingUi ui;
    EXPECT_TRUE(AppendLineToFile(dir / "MVMail.log", "first"));
    EXPECT_EQ(ReadFile(dir / "MVMail.log"), "first\r\n");
    EXPECT_TRUE(ui.messages.empty());
}

TEST(AppendLineToFile, AddsOneLineAndKeepsTheRest)
{
    TempDir dir;
    RecordingUi ui;
    WriteFile(dir / "MVMail.log", "first\r\nsecond\n");
    EXPECT_TRUE(AppendLineToFile(dir / "MVMail.log", "third\tcell"));
    EXPECT_EQ(ReadFile(dir / "MVMail.log"), "first\r\nsecond\nthird\tcell\r\n");
    EXPECT_TRUE(ui.messages.empty());
}

TEST(AppendLineToFile, ReportsAccessErrorAndReturnsFalse)
{
    TempDir dir;
    const struct {
        const char* name;
        std::string path;
    } cases[] = {
        { "folder does not exist", dir / "missing/MVMail.log" },
        { "path is a folder", dir.Path() },
        { "device full while writing", "/dev/full" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingUi ui;
        EXPECT_FALSE(AppendLineToFile(c.path, "line"));
        ExpectAccessError(ui, c.path);
    }
    EXPECT_FALSE(PathExists(dir / "missing"));
}

TEST(ReadFileText, EndsEveryLineWithCrLf)
{
    const struct {
        const char* name;
        std::string content;
        std::string expected;
    } cases[] = {
        { "last line without a break", "a\r\nb", "a\r\nb\r\n" },
        { "empty file", "", "" },
        { "lone LF and lone CR", "a\nb\rc\r\n", "a\r\nb\r\nc\r\n" },
        { "empty lines kept", "a\n\nb\r\r\n", "a\r\n\r\nb\r\n\r\n" },
        { "only a line break", "\n", "\r\n" },
        { "binary bytes kept", std::string("x\0y\xff", 4), std::string("x\0y\xff\r\n", 6) },
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(dir / "list.txt", c.content);
        EXPECT_EQ(ReadFileText(dir / "list.txt"), c.expected);
    }
}

TEST(ReadFileText, GivesEmptyWithoutMessageForAMissingFile)
{
    TempDir dir;
    RecordingUi ui;
    EXPECT_EQ(ReadFileText(dir / "EmailBlacklist.txt"), "");
    EXPECT_EQ(ReadFileText(dir.Path()), "");
    EXPECT_TRUE(ui.messages.empty());
}

TEST(ReadFileText, ThrowsWhenAnExistingFileCannotBeRead)
{
    RecordingUi ui;
    EXPECT_THROW((void)ReadFileText(UnreadableFile), FileError);
    EXPECT_TRUE(ui.messages.empty());
}

TEST(AddLineToSortedFile, StoresTheLinesSortedIgnoringCaseWithoutDuplicates)
{
    const struct {
        const char* name;
        std::string content;
        std::string line;
        std::string expected;
    } cases[] = {
        { "new line in its place", "a\r\nc\r\n", "B", "a\r\nB\r\nc\r\n" },
        { "line equal but for case not added", "a\r\nB\r\nc\r\n", "A", "a\r\nB\r\nc\r\n" },
        { "unsorted file with duplicates", "c\r\na\r\na\r\n", "b", "a\r\nb\r\nc\r\n" },
        { "first of lines equal but for case kept", "c\r\nA\r\na\r\n", "b", "A\r\nb\r\nc\r\n" },
        { "order ignores case", "b\r\nZ\r\n", "A", "A\r\nb\r\nZ\r\n" },
        { "any line breaks read, CR LF written", "b\na", "c", "a\r\nb\r\nc\r\n" },
        { "empty line of the file kept", "\r\nb\r\n", "a", "\r\na\r\nb\r\n" },
        { "line stored as passed", "", "  Spam@Example.COM ", "  Spam@Example.COM \r\n" },
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(dir / "EmailBlacklist.txt", c.content);
        AddLineToSortedFile(dir / "EmailBlacklist.txt", c.line);
        EXPECT_EQ(ReadFile(dir / "EmailBlacklist.txt"), c.expected);
    }
}

TEST(AddLineToSortedFile, KeepsLinesThatDifferOnlyInPunctuation)
{
    // Collation may weigh punctuation lightly, but the lines stay distinct.
    TempDir dir;
    WriteFile(dir / "EmailBlacklist.txt", "ab\r\n");
    AddLineToSortedFile(dir / "EmailBlacklist.txt", "a-b");
    const std::string content = ReadFile(dir / "EmailBlacklist.txt");
    EXPECT_TRUE(content == "a-b\r\nab\r\n" || content == "ab\r\na-b\r\n") << content;
}

TEST(AddLineToSortedFile, CreatesAMissingFileWithTheLineAlone)
{
    TempDir dir;
    AddLineToSortedFile(dir / "EmailBlocklist.txt", "Spam@Example.com");
    EXPECT_EQ(ReadFile(dir / "EmailBlocklist.txt"), "Spam@Example.com\r\n");
    EXPECT_EQ(ListFolder(dir.Path()), std::vector<std::string> { "EmailBlocklist.txt" });
}

TEST(AddLineToSortedFile, KeepsThePermissionsOfTheFile)
{
    TempDir dir;
    WriteFile(dir / "EmailBlacklist.txt", "a\r\n");
    ASSERT_EQ(chmod((dir / "EmailBlacklist.txt").c_str(), 0640), 0);
    AddLineToSortedFile(dir / "EmailBlacklist.txt", "b");
    struct stat info { };
    ASSERT_EQ(stat((dir / "EmailBlacklist.txt").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST(AddLineToSortedFile, WritesThroughASymbolicLink)
{
    TempDir dir;
    WriteFile(dir / "shared.txt", "a\r\n");
    ASSERT_EQ(symlink((dir / "shared.txt").c_str(), (dir / "EmailBlacklist.txt").c_str()), 0);
    AddLineToSortedFile(dir / "EmailBlacklist.txt", "b");
    struct stat info { };
    ASSERT_EQ(lstat((dir / "EmailBlacklist.txt").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(ReadFile(dir / "shared.txt"), "a\r\nb\r\n");
}

TEST(AddLineToSortedFile, ThrowsWhenTheFileCannotBeWritten)
{
    TempDir dir;
    EXPECT_THROW(AddLineToSortedFile(dir / "missing/EmailBlacklist.txt", "a"), FileError);
    EXPECT_THROW(AddLineToSortedFile(UnreadableFile, "a"), FileError);
}

class WorkingFolder {
public:
    explicit WorkingFolder(const std::string& folder)
    {
        char buffer[4096];
        if (getcwd(buffer, sizeof buffer))
            previous_ = buffer;
        if (chdir(folder.c_str()) != 0)
            ADD_FAILURE() << "cannot enter " << folder;
    }
    ~WorkingFolder()
    {
        if (!previous_.empty() && chdir(previous_.c_str()) != 0)
            ADD_FAILURE() << "cannot return to " << previous_;
    }
    WorkingFolder(const WorkingFolder&) = delete;
    WorkingFolder& operator=(const WorkingFolder&) = delete;

private:
    std::string previous_;
};

class DeleteMatchingFilesTest : public ::testing::Test {
protected:
    void SetUp() override { Populate(); }

    void Populate()
    {
        for (const char* name : { "_MV1.txt", "_MV2", "_MV12", "_mv3", ".hidden", "other.txt" })
            WriteFile(dir / name, "x");
        if (!PathExists(dir / "_MVfolder")) {
            ASSERT_EQ(mkdir((dir / "_MVfolder").c_str(), 0755), 0);
        }
        WriteFile(dir / "_MVfolder/_MV4", "x");
    }

    std::vector<std::string> Remaining() const { return ListFolder(dir.Path()); }

    const std::vector<std::string> all { ".hidden", "_MV1.txt", "_MV12", "_MV2", "_MVfolder", "_mv3", "other.txt" };
    TempDir dir;
};

TEST_F(DeleteMatchingFilesTest, DeletesTheFilesTheMaskMatches)
{
    const struct {
        const char* name;
        std::string mask;
        std::vector<std::string> remaining;
    } cases[] = {
        { "star, case-sensitive, folders stay", "_MV*", { ".hidden", "_MVfolder", "_mv3", "other.txt" } },
        { "question mark is one character",
          "_MV?",
          { ".hidden", "_MV1.txt", "_MV12", "_MVfolder", "_mv3", "other.txt" } },
        { "mask without wildcards", "other.txt", { ".hidden", "_MV1.txt", "_MV12", "_MV2", "_MVfolder", "_mv3" } },
        { "star matches hidden files too", "*", { "_MVfolder" } },
        { "mask matching nothing", "*.eml", all },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Populate();
        DeleteMatchingFiles(dir.Path(), c.mask);
        EXPECT_EQ(Remaining(), c.remaining);
    }
    EXPECT_TRUE(PathExists(dir / "_MVfolder/_MV4"));
}

TEST_F(DeleteMatchingFilesTest, DoesNothingWithAnEmptyFolderText)
{
    WorkingFolder inside(dir.Path());
    DeleteMatchingFiles("", "*");
    EXPECT_EQ(Remaining(), all);
}

TEST_F(DeleteMatchingFilesTest, IgnoresAFolderThatDoesNotExist)
{
    DeleteMatchingFiles(dir / "missing/", "*");
    EXPECT_EQ(Remaining(), all);
}

TEST(MatchesMask, MatchesWholeNamesWithStarAndQuestionMark)
{
    const struct {
        const char* name;
        std::string text;
        std::string mask;
        bool expected;
    } cases[] = {
        { "star inside", "abc", "a*c", true },
        { "star matches nothing", "ac", "a*c", true },
        { "question mark one character", "abc", "a?c", true },
        { "question mark not zero characters", "ac", "a?c", false },
        { "star alone matches empty", "", "*", true },
        { "empty mask matches only empty", "abc", "", false },
        { "case-sensitive", "ABC", "abc", false },
        { "brackets are plain characters", "a[b]c", "a[b]c", true },
        { "bracket is no character class", "abc", "a[b]c", false },
        { "backtracking over a repeated part", "abcbd", "a*bd", true },
        { "whole name must match", "abcbdx", "a*bd", false },
        { "star dot star needs a dot", "README", "*.*", false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(MatchesMask(c.text, c.mask), c.expected);
    }
}

} // namespace
} // namespace morvanta
