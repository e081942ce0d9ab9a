#include "net/MessageParts.h"

#include "fixtures/TestFiles.h"
#include "net/MessageErrors.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
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
        { "dangling link", dir / "dangling", ENOENT },
    };
    ASSERT_EQ(symlink((dir / "nowhere").c_str(), (dir / "dangling").c_str()), 0);
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
        EXPECT_THROW(attachment.CheckReadable(), FileOpenError);
    }
}

// A named pipe, a device or a socket could block the send for good or never
// end; none of them may even be waited on.
TEST(AttachmentFile, ANameThatIsNoRegularFileIsRefusedAtOnce)
{
    test::TempDir dir;
    ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
    ASSERT_EQ(symlink((dir / "pipe").c_str(), (dir / "link to pipe").c_str()), 0);
    int listening = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    const std::string socketPath = dir / "socket";
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    socketPath.copy(address.sun_path, socketPath.size());
    ASSERT_EQ(bind(listening, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listening, 1), 0);

    struct Case {
        const char* name;
        std::string path;
        std::string kind;
        int code;
    };
    const Case cases[] = {
        { "folder", dir.Path(), "a folder", EISDIR },
        { "named pipe without a writer", dir / "pipe", "a named pipe (FIFO)", EINVAL },
        { "link to a named pipe", dir / "link to pipe", "a named pipe (FIFO)", EINVAL },
        { "endless device", "/dev/zero", "a character device", EINVAL },
        { "empty device", "/dev/null", "a character device", EINVAL },
        { "socket", socketPath, "a socket", EINVAL },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AttachmentFile attachment(c.path);
        const auto start = std::chrono::steady_clock::now();
        try {
            (void)attachment.OpenReader();
            ADD_FAILURE() << "no error raised";
        } catch (const NotARegularFileError& error) {
            EXPECT_EQ(std::string(error.what()),
                      "Cannot open file " + c.path + ": it is " + c.kind + ", not a regular file.");
            EXPECT_EQ(error.path(), c.path);
            EXPECT_EQ(error.code(), c.code);
        }
        EXPECT_THROW(attachment.CheckReadable(), NotARegularFileError);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    }
    close(listening);
}

TEST(MessageParts, CheckingTheAttachmentsRaisesForTheFirstThatCannotBeRead)
{
    test::TempDir dir;
    test::WriteFile(dir / "fine.bin", "fine");
    MessageParts parts;
    parts.AddText();
    parts.AddAttachmentFile(dir / "fine.bin");
    EXPECT_NO_THROW(parts.CheckAttachmentsReadable());
    parts.AddAttachmentFile(dir.Path());
    parts.AddAttachmentFile(dir / "missing.bin");
    try {
        parts.CheckAttachmentsReadable();
        ADD_FAILURE() << "no error raised";
    } catch (const FileOpenError& error) {
        EXPECT_EQ(error.path(), dir.Path());
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
