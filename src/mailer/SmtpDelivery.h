#pragma once

#include "app/Config.h"
#include "net/MailMessage.h"
#include "net/SmtpClient.h"

namespace morvanta {

// Puts the mail settings into the client: HostAddress, Port, UseTLS, the
// login when Authentication is on, MailAgent, and NetworkTimeout (seconds)
// as the read time-out. Raises NetError for a Port outside 1 to 65535
// or a UseTLS other than 0, 1 or 2, so that a mistyped setting never sends
// in clear what was meant to be encrypted.
void ApplyMailSettings(SmtpClient& smtp, const MailSettings& mail, int networkTimeoutSeconds);

// One report to the server: connect; when connected, send and then
// disconnect (with QUIT) whether or not the send succeeded. An attachment
// that cannot be read fails the delivery before the server is contacted. The first
// failure propagates; the connection is closed in every case. A client
// that opens no connection at all (an empty host) is a failure too.
void DeliverMessage(SmtpClient& smtp, MailMessage& message);

} // namespace morvanta
