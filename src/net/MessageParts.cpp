#include "net/MessageParts.h"

#include "net/MessageErrors.h"

#include <algorithm>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace morvanta {

namespace {

class FileReader : public AttachmentReader {
public:
    FileReader(std::string path, int descriptor)
        : path_(std::move(path))
        , descriptor_(descriptor)
    {
    }
    ~FileReader() override { close(descriptor_); }
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;

    std::size_t Read(unsigned char* buffer, std::size_t size) override
    {
        std::size_t filled = 0;
        while (filled < size) {
            ssize_t count = read(descriptor_, buffer + filled, size - filled);
            if (count == 0)
                break;
            if (count < 0) {
                if (errno == EINTR)
                    continue;
                throw FileReadError(path_, errno);
            }
            filled += static_cast<std::size_t>(count);
        }
        return filled;
    }

private:
    std::string path_;
    int descriptor_;
};

void RefuseUnlessRegular(const std::string& path, const struct stat& status)
{
    if (S_ISREG(status.st_mode))
        return;
    if (S_ISDIR(status.st_mode))
        throw NotARegularFileError(path, "a folder", EISDIR);
    const char* kind = S_ISFIFO(status.st_mode)   ? "a named pipe (FIFO)"
                       : S_ISCHR(status.st_mode)  ? "a character device"
                       : S_ISBLK(status.st_mode)  ? "a block device"
                       : S_ISSOCK(status.st_mode) ? "a socket"
                                                  : "a special file";
    throw NotARegularFileError(path, kind, EINVAL);
}

} // namespace

AttachmentFile::AttachmentFile(std::string path)
    : path_(std::move(path))
{
    size_t slash = path_.rfind('/');
    FileName = slash == std::string::npos ? path_ : path_.substr(slash + 1);
}

std::unique_ptr<AttachmentReader> AttachmentFile::OpenReader() const
{
    // Checked before opening, as opening a device can have effects of its
    // own, and again on what was opened, in case the path changed between.
    struct stat status { };
    if (stat(path_.c_str(), &status) != 0)
        throw FileOpenError(path_, errno);
    RefuseUnlessRegular(path_, status);
    int descriptor;
    do {
        // Without O_NONBLOCK, opening a named pipe waits for a writer.
        descriptor = open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    } while (descriptor < 0 && errno == EINTR);
    if (descriptor < 0)
        throw FileOpenError(path_, errno);
    auto reader = std::make_unique<FileReader>(path_, descriptor);
    if (fstat(descriptor, &status) != 0)
        throw FileOpenError(path_, errno);
    RefuseUnlessRegular(path_, status);
    int flags = fcntl(descriptor, F_GETFL);
    if (flags < 0 || fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK) != 0)
        throw FileOpenError(path_, errno);
    return reader;
}

void MessageParts::CheckAttachmentsReadable() const
{
    for (const auto& part : parts_) {
        if (part->Kind() == MessagePartKind::Attachment)
            static_cast<const Attachment&>(*part).CheckReadable();
    }
}

TextPart& MessageParts::AddText()
{
    return static_cast<TextPart&>(Add(std::make_unique<TextPart>()));
}

AttachmentFile& MessageParts::AddAttachmentFile(std::string path)
{
    return static_cast<AttachmentFile&>(Add(std::make_unique<AttachmentFile>(std::move(path))));
}

MessagePart& MessageParts::Add(std::unique_ptr<MessagePart> part)
{
    parts_.push_back(std::move(part));
    return *parts_.back();
}

std::size_t MessageParts::TextPartCount() const
{
    return static_cast<std::size_t>(std::count_if(
        parts_.begin(), parts_.end(), [](const auto& part) { return part->Kind() == MessagePartKind::Text; }));
}

std::size_t MessageParts::AttachmentCount() const
{
    return parts_.size() - TextPartCount();
}

} // namespace morvanta
