#include "mailer/SmtpDelivery.h"

#include "net/NetError.h"

namespace morvanta {

void ApplyMailSettings(SmtpClient& smtp, const MailSettings& mail, int networkTimeoutSeconds)
{
    if (mail.Port < 1 || mail.Port > 65535)
        throw NetError("The SMTP port " + std::to_string(mail.Port)
                       + " is not valid: MailOptions Port must be a number from 1 to 65535.");
    switch (mail.UseTLS) {
    case 0: smtp.UseTLS = TlsMode::None; break;
    case 1: smtp.UseTLS = TlsMode::StartTls; break;
    case 2: smtp.UseTLS = TlsMode::Implicit; break;
    default:
        throw NetError("MailOptions UseTLS is " + std::to_string(mail.UseTLS)
                       + ": it must be 0 (plain SMTP), 1 (STARTTLS) or 2 (TLS from the first byte).");
    }
    smtp.Host = mail.HostAddress;
    smtp.Port = mail.Port;
    if (mail.Authentication) {
        smtp.AuthType = SmtpAuthentication::Login;
        smtp.Username = mail.EMailLoginID;
        smtp.Password = mail.EMailPassword;
    } else {
        smtp.AuthType = SmtpAuthentication::None;
    }
    smtp.MailAgent = mail.MailAgent;
    smtp.ReadTimeout = ReadTimeoutFromSeconds(networkTimeoutSeconds);
}

void DeliverMessage(SmtpClient& smtp, MailMessage& message)
{
    message.Parts.CheckAttachmentsReadable();
    smtp.OpenConnection();
    // Without a host or port no socket is opened; that is no delivery.
    if (!smtp.IsConnected())
        throw NetError("No connection was made to the mail server \"" + smtp.Host + "\" on port "
                       + std::to_string(smtp.Port) + "; nothing was sent.");
    try {
        smtp.SendMessage(message);
    } catch (...) {
        try {
            smtp.CloseConnection();
        } catch (...) {
            // The send's own failure says more than a failed good-bye.
        }
        throw;
    }
    smtp.CloseConnection();
}

} // namespace morvanta
