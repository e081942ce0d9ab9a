#include "net/SmtpDelivery.h"

#include "net/IdException.h"

namespace morvanta {

void ApplyMailSettings(TIdSMTP& smtp, const TMail& mail, int networkTimeoutSeconds)
{
    if (mail.Port < 1 || mail.Port > 65535)
        throw EIdException("The SMTP port " + std::to_string(mail.Port)
                           + " is not valid: MailOptions Port must be a number from 1 to 65535.");
    switch (mail.UseTLS) {
    case 0:
        smtp.UseTLS = utNoTLSSupport;
        break;
    case 1:
        smtp.UseTLS = utUseRequireTLS;
        break;
    case 2:
        smtp.UseTLS = utUseImplicitTLS;
        break;
    default:
        throw EIdException("MailOptions UseTLS is " + std::to_string(mail.UseTLS)
                           + ": it must be 0 (plain SMTP), 1 (STARTTLS) or 2 (TLS from the first byte).");
    }
    smtp.Host = mail.HostAddress;
    smtp.Port = mail.Port;
    if (mail.Authentication) {
        smtp.AuthType = atDefault;
        smtp.Username = mail.EMailLoginID;
        smtp.Password = mail.EMailPassword;
    } else {
        smtp.AuthType = atNone;
    }
    smtp.MailAgent = mail.MailAgent;
    smtp.ReadTimeout = ReadTimeoutFromSeconds(networkTimeoutSeconds);
}

void DeliverMessage(TIdSMTP& smtp, TIdMessage& message)
{
    smtp.OpenConnection();
    // Without a host or port no socket is opened; that is no delivery.
    if (!smtp.IsConnected())
        throw EIdException("No connection was made to the mail server \"" + smtp.Host + "\" on port "
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
