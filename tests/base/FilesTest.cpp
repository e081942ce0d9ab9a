#include "base/Files.h"

#include "fixtures/TestFiles.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

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

TEST(CreateUniqueFile, MakesANewEmptyFileNamedPrefixHexNumberTmpEveryTime)
{
    TempDir folder;
    std::set<std::string> paths;
    for (int i = 0; i < 50; ++i) {
        std::string path = CreateUniqueFile(folder.Path(), "_MV");
        ASSERT_EQ(path.rfind(folder.Path(), 0), 0u);
        EXPECT_THAT(path.substr(folder.Path().size()), ::testing::MatchesRegex("_MV[0-9A-F]+\\.tmp"));
        EXPECT_EQ(ReadFile(path), "");
        paths.insert(path);
    }
    EXPECT_EQ(paths.size(), 50u);
    EXPECT_THROW((void)CreateUniqueFile(folder / "missing/", "_MV"), FileError);
}

TEST(MoveUnderUniqueName, GivesTheFileANewNameOfTheFormAndKeepsEveryOther)
{
    TempDir folder;
    const std::string staging = folder / ".staging";
    std::vector<std::pair<std::string, std::string>> moved;
    for (int i = 0; i < 20; ++i) {
        const std::string content = "message " + std::to_string(i);
        WriteFile(staging, content);
        std::string path = MoveUnderUniqueName(staging, folder.Path(), "_MV");
        ASSERT_EQ(path.rfind(folder.Path(), 0), 0u);
        EXPECT_THAT(path.substr(folder.Path().size()), ::testing::MatchesRegex("_MV[0-9A-F]+\\.tmp"));
        EXPECT_FALSE(PathExists(staging));
        moved.emplace_back(path, content);
    }
    for (const auto& [path, content] : moved)
        EXPECT_EQ(ReadFile(path), content);
    EXPECT_EQ(ListFolder(folder.Path()).size(), 20u);

    // A file that is not there takes no name.
    EXPECT_THROW((void)MoveUnderUniqueName(folder / "missing", folder.Path(), "_XX"), FileError);
    EXPECT_EQ(ListFolder(folder.Path()).size(), 20u);
}

} // namespace
} // namespace morvanta::test
