#pragma once

#include "net/IdHeaderList.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace morvanta {

enum class TIdMessagePartKind { Text, Attachment };

// One MIME part of a message.
class TIdMessagePart {
public:
    virtual ~TIdMessagePart() = default;
    [[nodiscard]] virtual TIdMessagePartKind Kind() const = 0;

    std::string ContentType;
    std::string ContentTransfer; // the transfer encoding
    std::string CharSet;
    std::string ContentDisposition;
    std::string ContentID;
    TIdHeaderList ExtraHeaders;
    int ParentPart = -1; // -1: at the top level
};

// A text part: its own body lines, without line ends.
class TIdText : public TIdMessagePart {
public:
    TIdText() { ContentType = "text/plain"; }
    [[nodiscard]] TIdMessagePartKind Kind() const override { return TIdMessagePartKind::Text; }

    std::vector<std::string> Body;
};

// Reads an attachment's data from the start, a piece at a time.
class TIdAttachmentReader {
public:
    virtual ~TIdAttachmentReader() = default;
    // Fills up to size bytes; fewer only at the end of the data, 0 at the end.
    [[nodiscard]] virtual std::size_t Read(unsigned char* buffer, std::size_t size) = 0;
};

// A part whose data is sent as a file: FileName is the name the receiver sees.
class TIdAttachment : public TIdMessagePart {
public:
    [[nodiscard]] TIdMessagePartKind Kind() const override { return TIdMessagePartKind::Attachment; }
    // Opened only when the attachment is written, and closed right after.
    [[nodiscard]] virtual std::unique_ptr<TIdAttachmentReader> OpenReader() const = 0;

    std::string FileName;
};

// An attachment read from a file while it is written, never held whole.
class TIdAttachmentFile : public TIdAttachment {
public:
    // FileName becomes the last component of the path.
    explicit TIdAttachmentFile(std::string path);

    // Throws EFOpenError ("Cannot open file " and the path).
    [[nodiscard]] std::unique_ptr<TIdAttachmentReader> OpenReader() const override;

private:
    std::string path_;
};

// The ordered parts of a message.
class TIdMessageParts {
public:
    TIdText& AddText();
    TIdAttachmentFile& AddAttachmentFile(std::string path);
    TIdMessagePart& Add(std::unique_ptr<TIdMessagePart> part);
    void Clear() { parts_.clear(); }

    [[nodiscard]] std::size_t Count() const { return parts_.size(); }
    [[nodiscard]] TIdMessagePart& operator[](std::size_t index) { return *parts_[index]; }
    [[nodiscard]] const TIdMessagePart& operator[](std::size_t index) const { return *parts_[index]; }

    [[nodiscard]] std::size_t TextPartCount() const;
    [[nodiscard]] std::size_t AttachmentCount() const;

private:
    std::vector<std::unique_ptr<TIdMessagePart>> parts_;
};

} // namespace morvanta
