#pragma once

#include "investigate/InvestigationController.h"

namespace morvanta {

class MailerController;
class MailerView;

// Puts the investigation window into the windowed program, in one call made
// once the mailer has started: the mailer's report session then creates the
// window (hidden) whenever it needs its contact search, and the mailer's
// Netvane command shows that window with the address in its URL box. The
// paste commands fill the recipients box given here. Closing the window
// destroys it and empties the session's reference, so the next user gets a
// fresh one; the session going away takes the window with it.
void InstallInvestigationWindow(MailerController& mailer, RecipientsBox recipients);

// The E-Mails box of a mailer view, which must outlive the windows.
[[nodiscard]] RecipientsBox RecipientsOf(MailerView& view);

} // namespace morvanta
