#pragma once

#include "mailer/SystemMailClient.h"

#include <string>
#include <vector>

// Delivery of the mailer's reports through the system's mail service.
namespace morvanta {

inline constexpr const char* MapiNotAvailableText = "MAPI not available";
inline constexpr const char* MapiSendmailFailedText = "MAPI Sendmail failed";
inline constexpr const char* MapiLogonFailedText = "MAPI Logon failed";
inline constexpr const char* MapiLogoffFailedText = "MAPI Logoff failed";

// What the send command hands over: the texts of the window and settings.
struct SystemMailReport {
    std::string recipients; // the E-Mails box, one recipient line however many addresses it holds
    std::string configuredBcc; // MailOptions BCC (not the window's BCC box)
    std::string subject; // with its macro expanded
    std::string body; // the expanded template and the message, every line ending in CR LF
    std::string attachmentPath; // the Attachment box; empty for none
    bool forwardMode = false; // then no subject or body, and the forward files attached
    std::vector<std::string> forwardFiles;
    std::string spoolFolder; // emptied of its "_MV*.*" files after a forward, ends with "/"
};

enum class SystemMailResult {
    Sent,
    NotAvailable, // "MAPI not available" was shown
    Failed, // "MAPI Sendmail failed" was shown
};

struct SystemMailOutcome {
    SystemMailResult result = SystemMailResult::Failed;
    // The subject and body as given to the service, for the report log.
    std::string subject;
    std::string body;
    // Why it failed, for the info box; empty on success.
    std::string detail;
};

// Sends the report through the client: the E-Mails text as the one To line
// "[SMTP:" + text and the configured BCC as the one BCC line "[SMTP:" + BCC
// (both without a closing bracket, so they go through name resolution), the
// subject cut to 255 characters, the body as the long text, the attachment
// or, in forward mode, the forward files. After a successful forward the
// spool is emptied. A failure is shown ("MAPI not available", "MAPI Sendmail
// failed") and returned; the caller spools the message, writes the log
// record and goes on, a bulk run with its next file. The client's message
// is empty again afterwards either way.
[[nodiscard]] SystemMailOutcome SendViaSystemMail(SystemMailClient& client, const SystemMailReport& report);

// The mailer window is first shown, with UseMAPI set: logs on, for the
// window's life. A failed logon shows "MAPI Logon failed" (each send then
// logs on by itself); without the service its error message is shown.
// Nothing is thrown: the window's remaining start steps go on.
void StartSystemMailSession(SystemMailClient& client);

// The mailer window ends, with UseMAPI set: logs off. A failure shows "MAPI
// Logoff failed", a missing service its error message. Nothing is thrown:
// the window's remaining end steps (the history list, the user settings)
// go on.
void EndSystemMailSession(SystemMailClient& client);

} // namespace morvanta
