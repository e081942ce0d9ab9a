#include "net/IdMessage.h"

#include "app/Text.h"
#include "net/IdCoderMIME.h"
#include "net/IdDateText.h"
#include "net/IdException.h"
#include "net/IdMimeBoundary.h"

#include <algorithm>
#include <array>

namespace morvanta {

namespace {

bool IsWhiteSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool HasHighByte(const std::vector<std::string>& lines)
{
    return std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
        return std::any_of(line.begin(), line.end(), [](char c) { return static_cast<unsigned char>(c) >= 128; });
    });
}

bool IsOneOf(std::string_view value, std::initializer_list<std::string_view> names)
{
    return std::any_of(names.begin(), names.end(), [value](std::string_view name) { return SameText(value, name); });
}

// The content type without a "charset" parameter.
std::string WithoutCharset(std::string_view contentType)
{
    std::string result;
    std::size_t start = 0;
    bool first = true;
    while (start <= contentType.size()) {
        std::size_t end = std::min(contentType.find(';', start), contentType.size());
        std::string_view parameter = contentType.substr(start, end - start);
        std::string name = Trim(parameter.substr(0, parameter.find('=')));
        if (first || !SameText(name, "charset")) {
            if (!first)
                result += ';';
            result += parameter;
        }
        first = false;
        start = end + 1;
    }
    return TrimRight(result);
}

// A file name goes into a quoted parameter as it is stored; a line break in
// it would end the part's header, so it becomes a blank.
std::string ParameterFileName(std::string_view name)
{
    std::string result(name);
    std::replace_if(result.begin(), result.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    return result;
}

// Body lines reach the sink one by one, so the data phase's "." rule sees
// every line: a line given with a line break inside is written as several.
void WriteBodyLine(TIdMessageSink& sink, std::string_view line)
{
    if (line.find_first_of("\r\n") == std::string_view::npos) {
        sink.WriteLine(line);
        return;
    }
    for (const std::string& piece : SplitLines(line))
        sink.WriteLine(piece);
}

std::string WithAngleBrackets(std::string_view id)
{
    std::string result(id);
    if (result.empty() || result.front() != '<')
        result.insert(result.begin(), '<');
    if (result.back() != '>')
        result += '>';
    return result;
}

void WriteTextPart(TIdMessageSink& sink, TIdText& part)
{
    std::string contentType = part.ContentType.empty() ? std::string("text/plain") : part.ContentType;
    if (part.CharSet.empty())
        sink.WriteLine("Content-Type: " + contentType);
    else
        sink.WriteLine("Content-Type: " + WithoutCharset(contentType) + " ; charset=\"" + part.CharSet + "\"");
    bool encoded = IsOneOf(part.ContentTransfer, { "quoted-printable", "base64" });
    if (!encoded && HasHighByte(part.Body))
        part.ContentTransfer = "8bit";
    if (part.ContentTransfer.empty())
        part.ContentTransfer = "quoted-printable";
    sink.WriteLine("Content-Transfer-Encoding: " + part.ContentTransfer);
    if (!part.ContentID.empty())
        sink.WriteLine("Content-ID: " + part.ContentID);
    for (const std::string& line : part.ExtraHeaders.Lines())
        sink.WriteLine(line);
    sink.WriteLine("");

    if (SameText(part.ContentTransfer, "quoted-printable")) {
        for (const std::string& line : part.Body) {
            for (const std::string& encoded : EncodeQuotedPrintableLine(line))
                sink.WriteLine(encoded);
        }
    } else if (SameText(part.ContentTransfer, "base64")) {
        std::string text = JoinLinesCrLf(part.Body);
        for (std::size_t i = 0; i < text.size(); i += Base64LineBytes)
            sink.WriteLine(EncodeBase64(std::string_view(text).substr(i, Base64LineBytes)));
    } else {
        for (const std::string& line : part.Body)
            WriteBodyLine(sink, line);
    }
}

void WriteAttachment(TIdMessageSink& sink, TIdAttachment& part)
{
    if (part.ContentTransfer.empty())
        part.ContentTransfer = "base64";
    if (part.ContentDisposition.empty())
        part.ContentDisposition = "attachment";
    if (part.ContentType.empty())
        part.ContentType = SameText(part.ContentTransfer, "base64") ? "application/octet-stream" : "text/plain";

    // Opened before anything of the part is written, closed when done.
    std::unique_ptr<TIdAttachmentReader> reader = part.OpenReader();

    std::string name = ParameterFileName(part.FileName);
    if (part.CharSet.empty())
        sink.WriteLine("Content-Type: " + part.ContentType + ";");
    else
        sink.WriteLine("Content-Type: " + WithoutCharset(part.ContentType) + "; charset=\"" + part.CharSet + "\";");
    sink.WriteLine("        name=\"" + name + "\"");
    sink.WriteLine("Content-Transfer-Encoding: " + part.ContentTransfer);
    sink.WriteLine("Content-Disposition: " + part.ContentDisposition + ";");
    sink.WriteLine("        filename=\"" + name + "\"");
    if (!part.ContentID.empty())
        sink.WriteLine("Content-ID: " + part.ContentID);
    for (const std::string& line : part.ExtraHeaders.Lines())
        sink.WriteLine(line);
    sink.WriteLine("");

    // Read in whole lines' worth, one base64 line per write.
    std::array<unsigned char, Base64LineBytes * 72> buffer {};
    std::string line;
    for (;;) {
        std::size_t count = reader->Read(buffer.data(), buffer.size());
        for (std::size_t i = 0; i < count; i += Base64LineBytes) {
            line.clear();
            AppendBase64(line, buffer.data() + i, std::min(Base64LineBytes, count - i));
            sink.WriteLine(line);
        }
        if (count < buffer.size())
            break;
    }
    sink.WriteLine("");
}

void WritePart(TIdMessageSink& sink, TIdMessagePart& part)
{
    if (part.Kind() == TIdMessagePartKind::Text) {
        sink.Status(StatusEncodingText);
        WriteTextPart(sink, static_cast<TIdText&>(part));
        sink.WriteLine("");
    } else {
        sink.Status(StatusEncodingAttachment);
        WriteAttachment(sink, static_cast<TIdAttachment&>(part));
    }
}

} // namespace

TIdMessage::TIdMessage(const Clock& clock)
    : clock_(&clock)
{
}

TIdEMailAddressItem& TIdMessage::From()
{
    if (FromList.Empty())
        FromList.Add();
    return FromList[0];
}

void TIdMessage::SetBodyText(std::string_view text)
{
    Body = SplitLines(text.substr(0, text.find('\0')));
}

void TIdMessage::ClearMessage()
{
    FromList.Clear();
    Recipients.Clear();
    CCList.Clear();
    BccList.Clear();
    ReceiptRecipient = {};
    Sender = {};
    ReplyTo.Clear();
    Subject.clear();
    Organization.clear();
    References.clear();
    InReplyTo.clear();
    NewsGroups.clear();
    Body.clear();
    MessageParts.Clear();
    ExtraHeaders.Clear();
    Encoding = TIdMessageEncoding::meDefault;
    ConvertPreamble = true;
    AttachmentEncoding = "MIME";
    ContentType.clear();
    ContentTransferEncoding.clear();
    CharSet.clear();
    Date = {};
    Priority = TIdMessagePriority::mpNormal;
    LastGeneratedHeaders.Clear();
    singlePart_ = false;
}

bool TIdMessage::BodyIsBlank() const
{
    return std::all_of(Body.begin(), Body.end(),
                       [](const std::string& line) { return std::all_of(line.begin(), line.end(), IsWhiteSpace); });
}

void TIdMessage::ValidateTransferEncodings()
{
    for (std::size_t i = 0; i < MessageParts.Count(); ++i) {
        TIdMessagePart& part = MessageParts[i];
        if (part.ContentTransfer.empty() || Encoding != TIdMessageEncoding::meMIME)
            continue;
        if (!IsOneOf(part.ContentTransfer, { "7bit", "8bit", "binary", "base64", "quoted-printable", "binhex40" }))
            part.ContentTransfer = "base64";
        // Attachments are only ever sent in base64; refuse the others before
        // anything is written rather than send data that does not fit.
        bool supported = part.Kind() == TIdMessagePartKind::Attachment ? SameText(part.ContentTransfer, "base64")
                                                                        : !SameText(part.ContentTransfer, "binhex40");
        if (!supported)
            throw EIdException("Transfer encoding not supported for this part: " + part.ContentTransfer);
    }
}

void TIdMessage::BuildHeaderLines()
{
    const std::size_t partCount = MessageParts.Count();
    const std::size_t textParts = MessageParts.TextPartCount();
    const std::size_t attachments = MessageParts.AttachmentCount();
    if (Encoding == TIdMessageEncoding::meDefault)
        Encoding = partCount > 0 ? TIdMessageEncoding::meMIME : TIdMessageEncoding::mePlainText;
    AttachmentEncoding = Encoding == TIdMessageEncoding::meMIME ? "MIME" : "UUE";
    if (Encoding == TIdMessageEncoding::mePlainText && partCount > 0)
        throw EIdException("A message with parts must be sent in MIME.");
    ValidateTransferEncodings();

    std::string boundary;
    std::string contentType = ContentType;
    if (Encoding == TIdMessageEncoding::meMIME) {
        boundary = TIdMimeBoundary::Get();
        if (contentType.empty()) {
            if (attachments > 0)
                contentType = "multipart/mixed";
            else if (textParts >= 2)
                contentType = "multipart/alternative";
            else if (partCount > 0 && !BodyIsBlank())
                contentType = "multipart/mixed"; // the body goes before the one text part
            else
                contentType = "text/plain";
        }
    }
    singlePart_ = Encoding == TIdMessageEncoding::meMIME && partCount == 1 && BodyIsBlank();

    coding_ = LocaleHeaderCoding();
    if (OnInitializeISO)
        OnInitializeISO(coding_);

    TIdHeaderList& headers = LastGeneratedHeaders;
    headers.Clear();
    headers.SetHeaderValue("From", EncodeAddress(FromList, TIdAddressAsName::On, coding_));
    headers.SetHeaderValue("Subject", EncodeHeader(Subject, "", coding_));
    headers.SetHeaderValue("To", EncodeAddress(Recipients, TIdAddressAsName::Off, coding_));
    headers.SetHeaderValue("Cc", EncodeAddress(CCList, TIdAddressAsName::Off, coding_));
    headers.SetHeaderValue("Bcc", "");
    std::string newsGroups;
    for (const std::string& group : NewsGroups)
        newsGroups += (newsGroups.empty() ? "" : ",") + group;
    headers.SetHeaderValue("Newsgroups", newsGroups);

    if (Encoding == TIdMessageEncoding::mePlainText) {
        headers.SetHeaderValue("Content-Transfer-Encoding", ContentTransferEncoding);
        headers.SetHeaderValue("Content-Type", ContentType);
    } else if (singlePart_) {
        headers.SetHeaderValue("MIME-Version", "1.0");
    } else {
        std::string value = contentType;
        if (!CharSet.empty())
            value += ";\r\n\tcharset=\"" + CharSet + "\"";
        if (partCount > 0)
            value += "; boundary=\"" + boundary + "\"";
        headers.SetHeaderValue("Content-Type", value);
        headers.SetHeaderValue("MIME-Version", "1.0");
        headers.SetHeaderValue("Content-Transfer-Encoding", ContentTransferEncoding);
    }

    headers.SetHeaderValue("Sender", Sender.Text());
    headers.SetHeaderValue("Reply-To", EncodeAddress(ReplyTo, TIdAddressAsName::Off, coding_));
    headers.SetHeaderValue("Organization", EncodeHeader(Organization, "", coding_));
    headers.SetHeaderValue("Disposition-Notification-To",
                           EncodeAddressItem(ReceiptRecipient, TIdAddressAsName::Off, coding_));
    headers.SetHeaderValue("References", References);
    headers.SetHeaderValue("Date", InternetDateText(clock_->ToLocal(UseNowForDate() ? clock_->Now() : Date)));
    headers.SetHeaderValue("X-Priority", Priority == TIdMessagePriority::mpNormal
                               ? std::string()
                               : std::to_string(static_cast<int>(Priority) + 1));
    headers.AddStrings(ExtraHeaders);
    if (!InReplyTo.empty())
        headers.SetHeaderValue("In-Reply-To", WithAngleBrackets(InReplyTo));
    else if (std::string messageId = headers.Values("Message-ID"); !messageId.empty())
        headers.SetHeaderValue("In-Reply-To", messageId);
}

void TIdMessage::WriteMessage(TIdMessageSink& sink, TIdMessageWriteScope scope)
{
    BuildHeaderLines();
    sink.WriteLines(LastGeneratedHeaders.Lines());
    if (scope == TIdMessageWriteScope::HeadersOnly)
        return;
    // A MIME message without parts has a plain body: there is nothing to
    // put between boundaries, and its Content-Type names no boundary.
    if (Encoding == TIdMessageEncoding::mePlainText || MessageParts.Count() == 0)
        WritePlainBody(sink);
    else if (singlePart_)
        WriteSinglePartBody(sink);
    else
        WriteMultipartBody(sink);
}

void TIdMessage::WritePlainBody(TIdMessageSink& sink) const
{
    sink.WriteLine("");
    sink.Status(StatusEncodingText);
    for (const std::string& line : Body) {
        if (coding_.TransferKind == TIdTransferKind::Iso2022Jp)
            WriteBodyLine(sink, ConvertToIso2022Jp(line, coding_.SourceCodeset));
        else
            WriteBodyLine(sink, line);
    }
    sink.WriteLine("");
}

void TIdMessage::WriteSinglePartBody(TIdMessageSink& sink)
{
    WritePart(sink, MessageParts[0]);
}

void TIdMessage::WriteMultipartBody(TIdMessageSink& sink)
{
    const std::string boundary = TIdMimeBoundary::Get();
    sink.WriteLine("");
    TIdText* madeText = nullptr;
    if (BodyIsBlank()) {
        sink.WriteLine(MultipartPreamble);
    } else if (ConvertPreamble && MessageParts.TextPartCount() == 0) {
        madeText = &MessageParts.AddText();
        madeText->Body = Body;
        madeText->ContentType = "text/plain";
        madeText->ContentTransfer = "7bit";
        sink.WriteLine(MultipartPreamble);
    } else {
        for (const std::string& line : Body)
            WriteBodyLine(sink, line);
    }
    sink.WriteLine("");

    if (madeText) {
        sink.WriteLine("--" + boundary);
        WritePart(sink, *madeText);
    }
    for (std::size_t i = 0; i < MessageParts.Count(); ++i) {
        TIdMessagePart& part = MessageParts[i];
        if (&part == madeText)
            continue;
        sink.WriteLine("--" + boundary);
        WritePart(sink, part);
    }
    sink.WriteLine("--" + boundary + "--");
    sink.WriteLine("");
}

} // namespace morvanta
