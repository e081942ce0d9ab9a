#include "net/MessageParts.h"

#include "fixtures/TestFiles.h"
#include "net/MessageErrors.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

namespace morvanta {
namespace {

TEST(AttachmentFile, ShownNameIsTheLastComponentOfThePath)
{
    EXPECT_EQ(AttachmentFile("/var/spool/morvanta/spam 1.eml").FileName, "spam 1.eml");
    EXPECT_EQ(AttachmentFile("relative.txt").FileName, "relative.txt");
}

TEST(AttachmentFile, ReaderDeliversTheWholeFileInPieces)
{
    test::TempDir dir;
    std::string content(10000, '\0');
    for (size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<char>(i % 251);
    test::WriteFile(dir / "data.bin", content);

    AttachmentFile attachment(dir / "data.bin");
    auto reader = attachment.OpenReader();
    std::string read;
    unsigned char buffer[4096];
    for (;;) {
        size_t count = reader->Read(buffer, sizeof buffer);
        read.append(reinterpret_cast<const char*>(buffer), count);
        if (count < sizeof buffer)
            break;
    }
    EXPECT_EQ(read, content);
    EXPECT_EQ(reader->Read(buffer, sizeof buffer), 0u);
}

TEST(AttachmentFile, FileThatCannotBeOpenedRaisesTheFileOpenError)
{
    test::TempDir dir;
    struct Case {
        const char* name;
        std::string path;
        int code;
    };
    const Case cases[] = {
        { "missing file", dir / "missing.bin", ENOENT },
        { "a folder", dir.Path(), EISDIR },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AttachmentFile attachment(c.path);
        try {
            (void)attachment.OpenReader();
            FAIL() << "no error raised";
        } catch (const FileOpenError& error) {
            EXPECT_EQ(std::string(error.what()), "Cannot open file " + c.path);
            EXPECT_EQ(error.path(), c.path);
            EXPECT_EQ(error.code(), c.code);
        }
    }
}

TEST(MessageParts, CountsTextPartsAndAttachments)
{
    MessageParts parts;
    parts.AddAttachmentFile("/tmp/a");
    TextPart& text = parts.AddText();
    parts.AddAttachmentFile("/tmp/b");
    EXPECT_EQ(text.ContentType, "text/plain");
    EXPECT_EQ(parts.Count(), 3u);
    EXPECT_EQ(parts.TextPartCount(), 1u);
    EXPECT_EQ(parts.AttachmentCount(), 2u);
    EXPECT_EQ(&parts[1], &text);
    EXPECT_EQ(parts[0].ParentPart, -1);
}

} // namespace
} // namespace morvanta
