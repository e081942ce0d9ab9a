#include "base/Files.h"

#include "fixtures/TestFiles.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace morvanta::test {
namespace {

TEST(ReadWholeFile, GivesNothingForAMissingFileAndEveryByteOfAnExistingOne)
{
    TempDir folder;
    EXPECT_FALSE(ReadWholeFile(folder / "missing").has_value());
    const std::string bytes("a\r\nb\0c\n", 7);
    WriteFile(folder / "file", bytes);
    EXPECT_EQ(ReadWholeFile(folder / "file"), bytes);
}

TEST(ReadWholeFile, ThrowsWhenTheFileCannotBeRead)
{
    TempDir folder;
    ASSERT_TRUE(ForceDirectories(folder / "a-folder"));
    EXPECT_THROW((void)ReadWholeFile(folder / "a-folder"), FileError);
}

TEST(ReplaceFileContent, KeepsThePermissionsAndLeavesNoTemporaryFile)
{
    TempDir folder;
    const std::string path = folder / "settings.ini";
    WriteFile(path, "old");
    ASSERT_EQ(chmod(path.c_str(), 0600), 0);

    ReplaceFileContent(path, "new");

    EXPECT_EQ(ReadFile(path), "new");
    struct stat info { };
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    EXPECT_EQ(ListFolder(folder.Path()), (std::vector<std::string> { "settings.ini" }));
}

TEST(ReplaceFileContent, AFailureLeavesWhatWasThereAndNoTemporaryFile)
{
    TempDir folder;
    ASSERT_TRUE(ForceDirectories(folder / "taken"));
    WriteFile(folder / "taken/inside", "kept");

    EXPECT_THROW(ReplaceFileContent(folder / "taken", "new"), FileError);

    EXPECT_EQ(ReadFile(folder / "taken/inside"), "kept");
    EXPECT_EQ(ListFolder(folder.Path()), (std::vector<std::string> { "taken" }));
}

} // namespace
} // namespace morvanta::test
