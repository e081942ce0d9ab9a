#pragma once

#include "net/HeaderList.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace morvanta {

enum class MessagePartKind { Text, Attachment };

// One MIME part of a message.
class MessagePart {
public:
    virtual ~MessagePart() = default;
    [[nodiscard]] virtual MessagePartKind Kind() const = 0;

    std::string ContentType;
    std::string ContentTransfer; // the transfer encoding
    std::string CharSet;
    std::string ContentDisposition;
    std::string ContentID;
    HeaderList ExtraHeaders;
    int ParentPart = -1; // -1: at the top level
};

// A text part: its own body lines, without line ends.
class TextPart : public MessagePart {
public:
    TextPart() { ContentType = "text/plain"; }
    [[nodiscard]] MessagePartKind Kind() const override { return MessagePartKind::Text; }

    std::vector<std::string> Body;
};

// Reads an attachment's data from the start, a piece at a time.
class AttachmentReader {
public:
    virtual ~AttachmentReader() = default;
    // Fills up to size bytes; fewer only at the end of the data, 0 at the end.
    [[nodiscard]] virtual std::size_t Read(unsigned char* buffer, std::size_t size) = 0;
};

// A part whose data is sent as a file: FileName is the name the receiver sees.
class Attachment : public MessagePart {
public:
    [[nodiscard]] MessagePartKind Kind() const override { return MessagePartKind::Attachment; }
    // Opened only when the attachment is written, and closed right after.
    [[nodiscard]] virtual std::unique_ptr<AttachmentReader> OpenReader() const = 0;
    // Opens the data as OpenReader does and closes it again: raises what
    // OpenReader would, so that a message that cannot be completed is
    // refused before anything of it is sent.
    void CheckReadable() const { (void)OpenReader(); }

    std::string FileName;
};

// An attachment read from a file while it is written, never held whole.
class AttachmentFile : public Attachment {
public:
    // FileName becomes the last component of the path.
    explicit AttachmentFile(std::string path);

    // Throws FileOpenError ("Cannot open file " and the path), and
    // NotARegularFileError for a folder, a named pipe, a device or a socket,
    // without ever waiting on one.
    [[nodiscard]] std::unique_ptr<AttachmentReader> OpenReader() const override;

private:
    std::string path_;
};

// The ordered parts of a message.
class MessageParts {
public:
    TextPart& AddText();
    AttachmentFile& AddAttachmentFile(std::string path);
    MessagePart& Add(std::unique_ptr<MessagePart> part);
    void Clear() { parts_.clear(); }

    [[nodiscard]] std::size_t Count() const { return parts_.size(); }
    [[nodiscard]] MessagePart& operator[](std::size_t index) { return *parts_[index]; }
    [[nodiscard]] const MessagePart& operator[](std::size_t index) const { return *parts_[index]; }

    // CheckReadable of every attachment, in order.
    void CheckAttachmentsReadable() const;

    [[nodiscard]] std::size_t TextPartCount() const;
    [[nodiscard]] std::size_t AttachmentCount() const;

private:
    std::vector<std::unique_ptr<MessagePart>> parts_;
};

} // namespace morvanta
