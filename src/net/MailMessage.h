#pragma once

#include "base/Clock.h"
#include "net/EmailAddress.h"
#include "net/HeaderCoding.h"
#include "net/HeaderList.h"
#include "net/MessageParts.h"
#include "net/MessageSink.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace morvanta {

enum class MessageEncoding { Default, Mime, PlainText };
enum class MessagePriority { Highest, High, Normal, Low, Lowest };
enum class MessageWriteScope { WholeMessage, HeadersOnly };

inline constexpr const char* StatusEncodingText = "Encoding text";
inline constexpr const char* StatusEncodingAttachment = "Encoding attachment";
inline constexpr const char* MultipartPreamble = "This is a multi-part message in MIME format";

// An Internet mail message (RFC 5322, MIME of RFC 2045/2046) and its writer.
class MailMessage {
public:
    // The Date header comes from the clock when Date is left at zero.
    explicit MailMessage(const Clock& clock = SystemClock::Instance());
    MailMessage(const MailMessage&) = delete;
    MailMessage& operator=(const MailMessage&) = delete;

    EmailAddressList FromList;
    EmailAddressList Recipients;
    EmailAddressList CCList;
    EmailAddressList BccList; // envelope only: never written into a header
    EmailAddress ReceiptRecipient;
    EmailAddress Sender;
    EmailAddressList ReplyTo;
    std::string Subject;
    std::string Organization;
    std::string References;
    std::string InReplyTo;
    std::vector<std::string> NewsGroups;
    std::vector<std::string> Body; // lines without line ends
    MessageParts Parts;
    HeaderList ExtraHeaders;
    MessageEncoding Encoding = MessageEncoding::Default;
    bool ConvertPreamble = true;
    std::string AttachmentEncoding = "MIME";
    std::string ContentType;
    std::string ContentTransferEncoding;
    std::string CharSet;
    std::chrono::system_clock::time_point Date {}; // zero: the time of sending
    MessagePriority Priority = MessagePriority::Normal;
    HeaderList LastGeneratedHeaders;

    // May change the charset, encoding letter and transfer kind chosen from
    // the locale before the headers are built.
    std::function<void(HeaderCoding&)> OnInitializeISO;

    // The first sender; added empty when there is none.
    [[nodiscard]] EmailAddress& From();
    [[nodiscard]] bool UseNowForDate() const { return Date == std::chrono::system_clock::time_point {}; }

    // Cuts the text into Body lines at CR LF, CR and LF; a final line break
    // adds no empty line and a NUL ends the text.
    void SetBodyText(std::string_view text);

    // Empties everything for the next message.
    void ClearMessage();

    // Fills LastGeneratedHeaders and resolves Encoding.
    void BuildHeaderLines();

    // The header lines (one buffered write), then the body. Attachment files
    // are read while they are written; a file that cannot be opened raises
    // FileOpenError with the message partly written.
    void WriteMessage(MessageSink& sink, MessageWriteScope scope = MessageWriteScope::WholeMessage);

    // Whether the last BuildHeaderLines chose the single-part layout.
    [[nodiscard]] bool IsSinglePart() const { return singlePart_; }

private:
    [[nodiscard]] bool BodyIsBlank() const;
    void ValidateTransferEncodings();
    void WritePlainBody(MessageSink& sink) const;
    // For a MIME message with at least one part.
    void WriteMultipartBody(MessageSink& sink);
    void WriteSinglePartBody(MessageSink& sink);

    const Clock* clock_;
    HeaderCoding coding_;
    bool singlePart_ = false;
};

} // namespace morvanta
