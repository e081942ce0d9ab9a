#include "net/IdMessageParts.h"

#include "net/IdMessageExceptions.h"

#include <algorithm>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace morvanta {

namespace {

class FileReader : public TIdAttachmentReader {
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
                throw EReadError(path_, errno);
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

TIdAttachmentFile::TIdAttachmentFile(std::string path)
    : path_(std::move(path))
{
    size_t slash = path_.rfind('/');
    FileName = slash == std::string::npos ? path_ : path_.substr(slash + 1);
}

std::unique_ptr<TIdAttachmentReader> TIdAttachmentFile::OpenReader() const
{
    int descriptor;
    do {
        descriptor = open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    } while (descriptor < 0 && errno == EINTR);
    if (descriptor < 0)
        throw EFOpenError(path_, errno);
    struct stat status {};
    if (fstat(descriptor, &status) == 0 && S_ISDIR(status.st_mode)) {
        close(descriptor);
        throw EFOpenError(path_, EISDIR);
    }
    return std::make_unique<FileReader>(path_, descriptor);
}

TIdText& TIdMessageParts::AddText()
{
    return static_cast<TIdText&>(Add(std::make_unique<TIdText>()));
}

TIdAttachmentFile& TIdMessageParts::AddAttachmentFile(std::string path)
{
    return static_cast<TIdAttachmentFile&>(Add(std::make_unique<TIdAttachmentFile>(std::move(path))));
}

TIdMessagePart& TIdMessageParts::Add(std::unique_ptr<TIdMessagePart> part)
{
    parts_.push_back(std::move(part));
    return *parts_.back();
}

std::size_t TIdMessageParts::TextPartCount() const
{
    return static_cast<std::size_t>(std::count_if(parts_.begin(), parts_.end(), [](const auto& part) {
        return part->Kind() == TIdMessagePartKind::Text;
    }));
}

std::size_t TIdMessageParts::AttachmentCount() const
{
    return parts_.size() - TextPartCount();
}

} // namespace morvanta
