#include "mailer/Spool.h"

#include "base/Files.h"
#include "fixtures/TestFiles.h"
#include "mailer/BulkFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

namespace morvanta::test {
namespace {

using Lines = std::vector<std::string>;

TEST(Spool, AddsEachMessageAsAFileOfItsOwnWithCrLfLines)
{
    TempDir folder;
    Spool spool(folder.Path());
    std::string first = spool.Add({ "Received: from x", "", "body" });
    std::string second = spool.Add({ "" });
    EXPECT_NE(first, second);
    EXPECT_EQ(ReadFile(first), "Received: from x\r\n\r\nbody\r\n");
    EXPECT_EQ(ReadFile(second), "\r\n");
    // Nothing but the two spool files is left behind.
    EXPECT_EQ(ListFolder(folder.Path()).size(), 2u);
}

TEST(Spool, ListsAndClearsOnlyItsOwnPlainFiles)
{
    TempDir folder;
    Spool spool(folder.Path());
    std::string added = spool.Add({ "x" });
    WriteFile(folder / "_MVhand.made", "y");
    WriteFile(folder / "_MVnodot", "not in the mask");
    WriteFile(folder / "other.tmp", "not in the mask");
    ForceDirectories(folder / "_MVfolder.d/");

    Lines files = spool.Files();
    std::sort(files.begin(), files.end());
    Lines expected { added, folder / "_MVhand.made" };
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(files, expected);

    spool.Clear();
    EXPECT_EQ(ListFolder(folder.Path()), (Lines { "_MVfolder.d", "_MVnodot", "other.tmp" }));
}

TEST(Spool, AFolderThatCannotTakeTheMessageLeavesNoEmptySpoolFile)
{
    TempDir folder;
    Spool spool(folder / "missing/");
    EXPECT_THROW(spool.Add({ "x" }), FileError);
    EXPECT_TRUE(ListFolder(folder.Path()).empty());
}

TEST(BulkFolder, HandsOutEveryPlainFileOnceAndNoFolder)
{
    TempDir folder;
    WriteFile(folder / "a.eml", "a");
    WriteFile(folder / "b", "b");
    WriteFile(folder / ".hidden", "h");
    ForceDirectories(folder / "sub/");
    WriteFile(folder / "sub/inside.eml", "i");
    symlink((folder / "a.eml").c_str(), (folder / "link.eml").c_str());
    symlink((folder / "sub").c_str(), (folder / "linked-folder").c_str());

    BulkFolder bulk(folder.Path().substr(0, folder.Path().size() - 1));
    EXPECT_EQ(bulk.Path(), folder.Path());
    Lines taken;
    // None is deleted: each is handed out once all the same.
    while (auto name = bulk.TakeNextFile())
        taken.push_back(*name);
    std::sort(taken.begin(), taken.end());
    EXPECT_EQ(taken, (Lines { ".hidden", "a.eml", "b", "link.eml" }));

    // A file added during the run is found; the others stay taken.
    WriteFile(folder / "late.eml", "l");
    EXPECT_EQ(bulk.TakeNextFile(), std::optional<std::string>("late.eml"));
    EXPECT_EQ(bulk.TakeNextFile(), std::nullopt);
}

TEST(BulkFolder, AMissingFolderHasNoFiles)
{
    TempDir folder;
    BulkFolder bulk(folder / "missing");
    EXPECT_EQ(bulk.TakeNextFile(), std::nullopt);
    EXPECT_TRUE(PlainFilesMatching(folder / "missing/", "*").empty());
}

TEST(PlainFilesMatching, TakesTheMaskCaseSensitively)
{
    TempDir folder;
    for (const char* name : { "VirusReport.txt", "SpamReport.txt", "virusreport.txt", "Report.txt", "AReport.txt.bak" })
        WriteFile(folder / name, "x");
    Lines names = PlainFilesMatching(folder.Path(), "*Report.txt");
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (Lines { "Report.txt", "SpamReport.txt", "VirusReport.txt" }));
}

} // namespace
} // namespace morvanta::test
