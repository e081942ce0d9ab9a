#include "net/MailMessage.h"

#include "base/Text.h"
#include "net/Base64.h"
#include "net/DateHeader.h"
#include "net/MimeBoundary.h"
#include "net/NetError.h"

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
// it would end the part's header, so it becomes a blank, and a double quote
// or backslash would end or change the quoted string, so each becomes a
// quoted-pair (RFC 5322 3.2.4).
std::string ParameterFileName(std::string_view name)
{
    std::string result;
    result.reserve(name.size());
    for (char c : name) {
        if (c == '\r' || c == '\n') {
            result += ' ';
            continue;
        }
        if (c == '"' || c == '\\')
            result += '\\';
        result += c;
    }
    return result;
}

// Body lines reach the sink one by one, so the data phase's "." rule sees
// every line: a line given with a line break inside is written as several.
void WriteBodyLine(MessageSink& sink, std::string_view line)
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

void WriteTextPart(MessageSink& sink, TextPart& part)
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

void WriteAttachment(MessageSink& sink, Attachment& part)
{
    if (part.ContentTransfer.empty())
        part.ContentTransfer = "base64";
    if (part.ContentDisposition.empty())
        part.ContentDisposition = "attachment";
    if (part.ContentType.empty())
        part.ContentType = SameText(part.ContentTransfer, "base64") ? "application/octet-stream" : "text/plain";

    // Opened before anything of the part is written, closed when done.
    std::unique_ptr<AttachmentReader> reader = part.OpenReader();

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

void WritePart(MessageSink& sink, MessagePart& part)
{
    if (part.Kind() == MessagePartKind::Text) {
        sink.Status(StatusEncodingText);
        WriteTextPart(sink, static_cast<TextPart&>(part));
        sink.WriteLine("");
    } else {
        sink.Status(StatusEncodingAttachment);
        WriteAttachment(sink, static_cast<Attachment&>(part));
    }
}

} // namespace

MailMessage::MailMessage(const Clock& clock)
    : clock_(&clock)
{
}

EmailAddress& MailMessage::From()
{
    if (FromList.Empty())
        FromList.Add();
    return FromList[0];
}

void MailMessage::SetBodyText(std::string_view text)
{
    Body = SplitLines(text.substr(0, text.find('\0')));
}

void MailMessage::ClearMessage()
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
    Parts.Clear();
    ExtraHeaders.Clear();
    Encoding = MessageEncoding::Default;
    ConvertPreamble = true;
    AttachmentEncoding = "MIME";
    ContentType.clear();
    ContentTransferEncoding.clear();
    CharSet.clear();
    Date = {};
    Priority = MessagePriority::Normal;
    LastGeneratedHeaders.Clear();
    singlePart_ = false;
}

bool MailMessage::BodyIsBlank() const
{
    return std::all_of(Body.begin(), Body.end(),
                       [](const std::string& line) { return std::all_of(line.begin(), line.end(), IsWhiteSpace); });
}

void MailMessage::ValidateTransferEncodings()
{
    for (std::size_t i = 0; i < Parts.Count(); ++i) {
        MessagePart& part = Parts[i];
        if (part.ContentTransfer.empty() || Encoding != MessageEncoding::Mime)
            continue;
        if (!IsOneOf(part.ContentTransfer, { "7bit", "8bit", "binary", "base64", "quoted-printable", "binhex40" }))
            part.ContentTransfer = "base64";
        // Attachments are only ever sent in base64; refuse the others before
        // anything is written rather than send data that does not fit.
        bool supported = part.Kind() == MessagePartKind::Attachment ? SameText(part.ContentTransfer, "base64")
                                                                    : !SameText(part.ContentTransfer, "binhex40");
        if (!supported)
            throw NetError("Transfer encoding not supported for this part: " + part.ContentTransfer);
    }
}

void MailMessage::BuildHeaderLines()
{
    const std::size_t partCount = Parts.Count();
    const std::size_t textParts = Parts.TextPartCount();
    const std::size_t attachments = Parts.AttachmentCount();
    if (Encoding == MessageEncoding::Default)
        Encoding = partCount > 0 ? MessageEncoding::Mime : MessageEncoding::PlainText;
    AttachmentEncoding = Encoding == MessageEncoding::Mime ? "MIME" : "UUE";
    if (Encoding == MessageEncoding::PlainText && partCount > 0)
        throw NetError("A message with parts must be sent in MIME.");
    ValidateTransferEncodings();

    std::string boundary;
    std::string contentType = ContentType;
    if (Encoding == MessageEncoding::Mime) {
        boundary = MimeBoundary::Get();
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
    singlePart_ = Encoding == MessageEncoding::Mime && partCount == 1 && BodyIsBlank();

    coding_ = LocaleHeaderCoding();
    if (OnInitializeISO)
        OnInitializeISO(coding_);

    HeaderList& headers = LastGeneratedHeaders;
    headers.Clear();
    headers.SetHeaderValue("From", EncodeAddress(FromList, AddressAsName::On, coding_));
    headers.SetHeaderValue("Subject", EncodeHeader(Subject, "", coding_));
    headers.SetHeaderValue("To", EncodeAddress(Recipients, AddressAsName::Off, coding_));
    headers.SetHeaderValue("Cc", EncodeAddress(CCList, AddressAsName::Off, coding_));
    headers.SetHeaderValue("Bcc", "");
    std::string newsGroups;
    for (const std::string& group : NewsGroups)
        newsGroups += (newsGroups.empty() ? "" : ",") + group;
    headers.SetHeaderValue("Newsgroups", newsGroups);

    if (Encoding == MessageEncoding::PlainText) {
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
    headers.SetHeaderValue("Reply-To", EncodeAddress(ReplyTo, AddressAsName::Off, coding_));
    headers.SetHeaderValue("Organization", EncodeHeader(Organization, "", coding_));
    headers.SetHeaderValue("Disposition-Notification-To",
                           EncodeAddressItem(ReceiptRecipient, AddressAsName::Off, coding_));
    headers.SetHeaderValue("References", References);
    headers.SetHeaderValue("Date", InternetDateText(clock_->ToLocal(UseNowForDate() ? clock_->Now() : Date)));
    headers.SetHeaderValue("X-Priority", Priority == MessagePriority::Normal
                                             ? std::string()
                                             : std::to_string(static_cast<int>(Priority) + 1));
    headers.AddStrings(ExtraHeaders);
    if (!InReplyTo.empty())
        headers.SetHeaderValue("In-Reply-To", WithAngleBrackets(InReplyTo));
    else if (std::string messageId = headers.Values("Message-ID"); !messageId.empty())
        headers.SetHeaderValue("In-Reply-To", messageId);
}

void MailMessage::WriteMessage(MessageSink& sink, MessageWriteScope scope)
{
    BuildHeaderLines();
    sink.WriteLines(LastGeneratedHeaders.Lines());
    if (scope == MessageWriteScope::HeadersOnly)
        return;
    // A MIME message without parts has a plain body: there is nothing to
    // put between boundaries, and its Content-Type names no boundary.
    if (Encoding == MessageEncoding::PlainText || Parts.Count() == 0)
        WritePlainBody(sink);
    else if (singlePart_)
        WriteSinglePartBody(sink);
    else
        WriteMultipartBody(sink);
}

void MailMessage::WritePlainBody(MessageSink& sink) const
{
    sink.WriteLine("");
    sink.Status(StatusEncodingText);
    for (const std::string& line : Body) {
        if (coding_.TransferKind == HeaderTransferKind::Iso2022Jp)
            WriteBodyLine(sink, ConvertToIso2022Jp(line, coding_.SourceCodeset));
        else
            WriteBodyLine(sink, line);
    }
    sink.WriteLine("");
}

void MailMessage::WriteSinglePartBody(MessageSink& sink)
{
    WritePart(sink, Parts[0]);
}

void MailMessage::WriteMultipartBody(MessageSink& sink)
{
    const std::string boundary = MimeBoundary::Get();
    sink.WriteLine("");
    TextPart* madeText = nullptr;
    if (BodyIsBlank()) {
        sink.WriteLine(MultipartPreamble);
    } else if (ConvertPreamble && Parts.TextPartCount() == 0) {
        madeText = &Parts.AddText();
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
    for (std::size_t i = 0; i < Parts.Count(); ++i) {
        MessagePart& part = Parts[i];
        if (&part == madeText)
            continue;
        sink.WriteLine("--" + boundary);
        WritePart(sink, part);
    }
    sink.WriteLine("--" + boundary + "--");
    sink.WriteLine("");
}

} // namespace morvanta
