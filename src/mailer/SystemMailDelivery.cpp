#include "mailer/SystemMailDelivery.h"

#include "base/UiServices.h"
#include "mailer/Spool.h"

namespace morvanta {

namespace {

void ShowErrorDialog(const std::string& text)
{
    Ui().ShowMessage(text, "Error", MessageButtons::Ok, MessageIcon::Error);
}

} // namespace

SystemMailOutcome SendViaSystemMail(SystemMailClient& client, const SystemMailReport& report)
{
    SystemMailOutcome outcome;
    if (!client.MapiAvailable()) {
        ShowErrorDialog(MapiNotAvailableText);
        outcome.result = SystemMailResult::NotAvailable;
        outcome.subject
            = report.forwardMode ? std::string() : report.subject.substr(0, SystemMailClient::ShortTextLength);
        outcome.body = report.forwardMode ? std::string() : report.body;
        outcome.detail = MapiUnavailableError().what();
        return outcome;
    }

    client.UseDefaultProfile = true;
    client.Recipient = { "[SMTP:" + report.recipients };
    client.Bcc = { "[SMTP:" + report.configuredBcc };
    client.Attachment.clear();
    if (report.forwardMode) {
        client.SetSubject("");
        client.SetLongText(std::string());
        client.Attachment = report.forwardFiles;
    } else {
        client.SetSubject(report.subject);
        client.SetLongText(report.body);
        if (!report.attachmentPath.empty())
            client.Attachment.push_back(report.attachmentPath);
    }
    outcome.subject = client.Subject();
    outcome.body = client.LongText().value_or(std::string());

    MapiResult result = client.SendMail();
    if (result != mapi::SuccessSuccess) {
        outcome.result = SystemMailResult::Failed;
        outcome.detail = client.LastFailure().empty()
                             ? "The system's mail service refused the message (code " + std::to_string(result) + ")."
                             : client.LastFailure();
        client.ClearMessage();
        ShowErrorDialog(MapiSendmailFailedText);
        return outcome;
    }

    if (report.forwardMode)
        Spool(report.spoolFolder).Clear();
    client.ClearMessage();
    outcome.result = SystemMailResult::Sent;
    return outcome;
}

void StartSystemMailSession(SystemMailClient& client)
{
    if (!client.MapiAvailable()) {
        Ui().ShowError(MapiUnavailableError().what());
        return;
    }
    if (client.Logon() != mapi::SuccessSuccess)
        ShowErrorDialog(MapiLogonFailedText);
}

void EndSystemMailSession(SystemMailClient& client)
{
    if (!client.MapiAvailable()) {
        Ui().ShowError(MapiUnavailableError().what());
        return;
    }
    if (client.Logoff() != mapi::SuccessSuccess)
        ShowErrorDialog(MapiLogoffFailedText);
}

} // namespace morvanta
