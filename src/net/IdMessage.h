#pragma once

#include "app/Clock.h"
#include "net/IdEMailAddress.h"
#include "net/IdHeaderCoding.h"
#include "net/IdHeaderList.h"
#include "net/IdMessageParts.h"
#include "net/IdMessageSink.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace morvanta {

enum class TIdMessageEncoding { meDefault, meMIME, mePlainText };
enum class TIdMessagePriority { mpHighest, mpHigh, mpNormal, mpLow, mpLowest };
enum class TIdMessageWriteScope { WholeMessage, HeadersOnly };

inline constexpr const char* StatusEncodingText = "Encoding text";
inline constexpr const char* StatusEncodingAttachment = "Encoding attachment";
inline constexpr const char* MultipartPreamble = "This is a multi-part message in MIME format";

// An Internet mail message (RFC 5322, MIME of RFC 2045/2046) and its writer.
class TIdMessage {
public:
    // The Date header comes from the clock when Date is left at zero.
    explicit TIdMessage(const Clock& clock = SystemClock::Instance());
    TIdMessage(const TIdMessage&) = delete;
    TIdMessage& operator=(const TIdMessage&) = delete;

    TIdEMailAddressList FromList;
    TIdEMailAddressList Recipients;
    TIdEMailAddressList CCList;
    TIdEMailAddressList BccList; // envelope only: never written into a header
    TIdEMailAddressItem ReceiptRecipient;
    TIdEMailAddressItem Sender;
    TIdEMailAddressList ReplyTo;
    std::string Subject;
    std::string Organization;
    std::string References;
    std::string InReplyTo;
    std::vector<std::string> NewsGroups;
    std::vector<std::string> Body; // lines without line ends
    TIdMessageParts MessageParts;
    TIdHeaderList ExtraHeaders;
    TIdMessageEncoding Encoding = TIdMessageEncoding::meDefault;
    bool ConvertPreamble = true;
    std::string AttachmentEncoding = "MIME";
    std::string ContentType;
    std::string ContentTransferEncoding;
    std::string CharSet;
    std::chrono::system_clock::time_point Date {}; // zero: the time of sending
    TIdMessagePriority Priority = TIdMessagePriority::mpNormal;
    TIdHeaderList LastGeneratedHeaders;

    // May change the charset, encoding letter and transfer kind chosen from
    // the locale before the headers are built.
    std::function<void(TIdHeaderCoding&)> OnInitializeISO;

    // The first sender; added empty when there is none.
    [[nodiscard]] TIdEMailAddressItem& From();
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
    // EFOpenError with the message partly written.
    void WriteMessage(TIdMessageSink& sink, TIdMessageWriteScope scope = TIdMessageWriteScope::WholeMessage);

    // Whether the last BuildHeaderLines chose the single-part layout.
    [[nodiscard]] bool IsSinglePart() const { return singlePart_; }

private:
    [[nodiscard]] bool BodyIsBlank() const;
    void ValidateTransferEncodings();
    void WritePlainBody(TIdMessageSink& sink) const;
    // For a MIME message with at least one part.
    void WriteMultipartBody(TIdMessageSink& sink);
    void WriteSinglePartBody(TIdMessageSink& sink);

    const Clock* clock_;
    TIdHeaderCoding coding_;
    bool singlePart_ = false;
};

} // namespace morvanta
