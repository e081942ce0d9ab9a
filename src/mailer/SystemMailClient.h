#pragma once

#include "mailer/SendmailLayer.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace morvanta {

// The system's mail service is not there (no sendmail program to run).
class MapiUnavailableError : public std::runtime_error {
public:
    MapiUnavailableError()
        : std::runtime_error("MAPI services are not available on this system")
    {
    }
};

// One session with the system's mail service and one outgoing message: the
// recipients, subject, body and files, sent with SendMail.
class SystemMailClient {
public:
    // Short texts hold at most this many characters; longer ones are cut.
    static constexpr std::size_t ShortTextLength = 255;
    // More list entries than this would not fit the service's records.
    static constexpr std::size_t MaxListEntries = 89478485;

    // Without a layer the service is not available, and every operation
    // raises MapiUnavailableError.
    explicit SystemMailClient(std::unique_ptr<SendmailLayer> layer);
    // Logs off an open session, ignoring any failure.
    virtual ~SystemMailClient();
    SystemMailClient(const SystemMailClient&) = delete;
    SystemMailClient& operator=(const SystemMailClient&) = delete;

    std::vector<std::string> Recipient; // To, one entry a line
    std::vector<std::string> CC;
    std::vector<std::string> Bcc;
    std::vector<std::string> Attachment; // full paths
    bool UseDefaultProfile = false; // there is no stored default profile: Profile stays as it is
    bool ShowDialog = false;
    bool Acknowledge = false; // ask for a read receipt
    bool TruncateAttachmentNames = true; // offer files under ShortenAttachmentName
    bool DownloadFirst = false;
    bool NewSession = false;
    bool UnreadOnly = false; // reading mail only, which is not done here
    bool UseLongMessageId = false; // likewise

    [[nodiscard]] const std::string& Subject() const { return subject_; }
    void SetSubject(std::string_view text) { subject_ = Cut(text); }
    // The body when no long text is set.
    [[nodiscard]] const std::string& Text() const { return text_; }
    void SetText(std::string_view text) { text_ = Cut(text); }
    [[nodiscard]] const std::string& Profile() const { return profile_; }
    void SetProfile(std::string_view text) { profile_ = Cut(text); }
    [[nodiscard]] const std::string& Password() const { return password_; }
    void SetPassword(std::string_view text) { password_ = Cut(text); }

    // A body of any length, sent instead of Text; an empty optional removes
    // it. Text is emptied either way.
    void SetLongText(std::optional<std::string> text);
    [[nodiscard]] const std::optional<std::string>& LongText() const { return longText_; }

    [[nodiscard]] bool MapiAvailable() const { return layer_ != nullptr; }
    [[nodiscard]] static std::string Version();
    [[nodiscard]] bool HasSession() const { return session_ != 0; }
    // The layer, for what its failures say; null when not available.
    [[nodiscard]] SendmailLayer* Layer() const { return layer_.get(); }

    // The result codes of the service: 0 for success.
    MapiResult Logon();
    MapiResult Logoff();
    MapiResult SendMail();
    // Why the last SendMail failed, for the user; empty after a success.
    [[nodiscard]] const std::string& LastFailure() const { return lastFailure_; }

    // Acknowledge off; the four lists, the subject and the long text emptied.
    void ClearMessage();

    // Names of 12 characters or fewer stay. A longer one keeps the 8
    // characters before its first "." when that dot stands after the 9th
    // character, and everything from the dot on; then its last 12
    // characters when still longer; then loses its leading dots.
    [[nodiscard]] virtual std::string ShortenAttachmentName(const std::string& name);

    // Events; none is required.
    std::function<void(SystemMailClient&)> OnBeforeLogon;
    std::function<void(SystemMailClient&)> OnAfterLogon;
    std::function<void(SystemMailClient&)> OnBeforeLogoff;
    std::function<void(SystemMailClient&)> OnAfterLogoff;
    std::function<void(SystemMailClient&)> OnBeforeSaveMail; // no operation here saves mail
    std::function<void(SystemMailClient&)> OnAfterSaveMail;
    std::function<void(SystemMailClient&)> OnBeforeSendMail;
    std::function<void(SystemMailClient&)> OnAfterSendMail;
    std::function<void(SystemMailClient&, MapiResult code)> OnMapiError;

protected:
    // Raises MapiUnavailableError when the service is not there.
    virtual void CheckMapiAvailable() const;
    virtual void FireBeforeLogon();
    virtual void FireAfterLogon();
    virtual void FireBeforeLogoff();
    virtual void FireAfterLogoff();
    virtual void FireBeforeSaveMail();
    virtual void FireAfterSaveMail();
    virtual void FireBeforeSendMail();
    virtual void FireAfterSendMail();
    virtual void FireMapiError(MapiResult code);

private:
    [[nodiscard]] static std::string Cut(std::string_view text) { return std::string(text.substr(0, ShortTextLength)); }
    [[nodiscard]] unsigned long LogonFlags() const;
    // One line of a recipient list: true with the recipient to send to, the
    // line then holding the resolved display name; false when it cannot be
    // resolved (the error event has had the code).
    bool ResolveLine(std::string& line, unsigned long recipientClass, MapiRecipient& recipient);

    std::unique_ptr<SendmailLayer> layer_;
    MapiSession session_ = 0;
    std::string subject_;
    std::string text_;
    std::string profile_;
    std::string password_;
    std::optional<std::string> longText_;
    std::string lastFailure_;
};

} // namespace morvanta
