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

} // namespace

AttachmentFile::AttachmentFile(std::string path)
    : path_(std::move(path))
{
    size_t slash = path_.rfind('/');
    FileName = slash == std::string::npos ? path_ : path_.substr(slash + 1);
}

std::unique_ptr<AttachmentReader> AttachmentFile::OpenReader() const
{
    int descriptor;
    do {
        descriptor = open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    } while (descriptor < 0 && errno == EINTR);
    if (descriptor < 0)
        throw FileOpenError(path_, errno);
    struct stat status { };
    if (fstat(descriptor, &status) == 0 && S_ISDIR(status.st_mode)) {
        close(descriptor);
        throw FileOpenError(path_, EISDIR);
    }
    return std::make_unique<FileReader>(path_, descriptor);
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
