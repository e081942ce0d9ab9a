#pragma once

#include "base/Clock.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The system's mail service as the mailer sees it: the calls of Simple MAPI,
// with its result codes, carried out by the system's sendmail program
// ("sendmail -t -i", which any MTA or msmtp provides).
namespace morvanta {

using MapiResult = unsigned long;
// A logged-on session; 0 is none.
using MapiSession = std::uintptr_t;

namespace mapi {

inline constexpr MapiResult SuccessSuccess = 0;
inline constexpr MapiResult UserAbort = 1;
inline constexpr MapiResult Failure = 2;
inline constexpr MapiResult LoginFailure = 3;
inline constexpr MapiResult DiskFull = 4;
inline constexpr MapiResult InsufficientMemory = 5;
inline constexpr MapiResult AccessDenied = 6;
inline constexpr MapiResult TooManySessions = 8;
inline constexpr MapiResult TooManyFiles = 9;
inline constexpr MapiResult TooManyRecipients = 10;
inline constexpr MapiResult AttachmentNotFound = 11;
inline constexpr MapiResult AttachmentOpenFailure = 12;
inline constexpr MapiResult AttachmentWriteFailure = 13;
inline constexpr MapiResult UnknownRecipient = 14;
inline constexpr MapiResult BadRecipientType = 15;
inline constexpr MapiResult NoMessages = 16;
inline constexpr MapiResult InvalidMessage = 17;
inline constexpr MapiResult TextTooLarge = 18;
inline constexpr MapiResult InvalidSession = 19;
inline constexpr MapiResult TypeNotSupported = 20;
inline constexpr MapiResult AmbiguousRecipient = 21;
inline constexpr MapiResult MessageInUse = 22;
inline constexpr MapiResult NetworkFailure = 23;
inline constexpr MapiResult InvalidEditFields = 24;
inline constexpr MapiResult InvalidRecipients = 25;
inline constexpr MapiResult NotSupported = 26;

// Logon flags.
inline constexpr unsigned long LogonUi = 0x1;
inline constexpr unsigned long NewSession = 0x2;
inline constexpr unsigned long ForceDownload = 0x1000;
// Resolve and send flag: let the user pick or fill in. There is no dialog
// here, so a call that needs one fails (see SendmailLayer).
inline constexpr unsigned long Dialog = 0x8;
// Message flag.
inline constexpr unsigned long ReceiptRequested = 0x2;

// Recipient classes.
inline constexpr unsigned long Originator = 0;
inline constexpr unsigned long To = 1;
inline constexpr unsigned long Cc = 2;
inline constexpr unsigned long Bcc = 3;

} // namespace mapi

// One recipient: its class, display name, address ("SMTP:" and the
// addresses) and entry identifier. An empty text stands for an absent one.
struct MapiRecipient {
    unsigned long recipientClass = mapi::Originator;
    std::string name;
    std::string address;
    std::vector<unsigned char> entryId;
};

// One attached file: the full path it is read from and the name the
// receiver sees (the path's last component when empty).
struct MapiFile {
    long position = -1; // -1: not placed in the body
    std::string pathName;
    std::string fileName;
};

struct MapiMessage {
    std::string subject;
    std::string noteText;
    std::string messageType;
    unsigned long flags = 0;
    std::vector<MapiRecipient> recipients;
    std::vector<MapiFile> files;
};

// The ten calls of Simple MAPI over the sendmail program. Everything runs on
// the caller's thread; a send blocks it until the program ends or the time
// limit stops it.
//
// What the calls mean here:
// - There is one profile, the system's mail service: any profile name and
//   password log on while the program is still there to run.
// - A name resolves when it is one or more addresses ("a@b.example",
//   "Name <a@b.example>", "a@b.example, c@d.example"), bare or as the literal
//   "[SMTP:addresses]" (the closing bracket may be missing). The result names
//   them and has the address "SMTP:" followed by them. Anything else, and an
//   address type other than SMTP, is UnknownRecipient.
// - There is no address book, send form or mailbox: MAPI_DIALOG on a name
//   resolves as without it; MAPI_DIALOG on a send fails with NotSupported and
//   sends nothing, so no message goes out that the caller wanted the user to
//   check or address first. Reading, saving, deleting and the address dialog
//   are NotSupported; FindNext finds no messages.
// - A read receipt needs the sender's address, which only the mail service
//   knows: a message asking for one is NotSupported.
class SendmailLayer {
public:
    // The program is run as `program -t -i`. timeoutSeconds bounds one send;
    // 0 waits for ever. The Date header comes from the clock.
    SendmailLayer(std::string program, int timeoutSeconds, const Clock& clock = SystemClock::Instance());
    ~SendmailLayer();
    SendmailLayer(const SendmailLayer&) = delete;
    SendmailLayer& operator=(const SendmailLayer&) = delete;

    [[nodiscard]] const std::string& Program() const { return program_; }

    MapiResult MAPILogon(std::string_view profileName, std::string_view password, unsigned long flags,
                         MapiSession& session);
    MapiResult MAPILogoff(MapiSession session, unsigned long flags);

    // Composes the message and hands it to the program. Success means the
    // program read all of it and exited with status 0; anything else is
    // Failure, with the reason in LastFailure().
    MapiResult MAPISendMail(MapiSession session, const MapiMessage& message, unsigned long flags);

    // On success `resolved` points at a record the layer holds until
    // MAPIFreeBuffer releases it.
    MapiResult MAPIResolveName(MapiSession session, std::string_view name, unsigned long flags,
                               MapiRecipient*& resolved);
    // Releases a record of MAPIResolveName; Failure for anything else.
    MapiResult MAPIFreeBuffer(const void* buffer);

    MapiResult MAPIFindNext(MapiSession session, std::string_view messageType, std::string_view seedMessageId,
                            unsigned long flags, std::string& messageId);
    MapiResult MAPIReadMail(MapiSession session, std::string_view messageId, unsigned long flags, MapiMessage& message);
    MapiResult MAPIDeleteMail(MapiSession session, std::string_view messageId, unsigned long flags);
    MapiResult MAPISaveMail(MapiSession session, const MapiMessage& message, unsigned long flags,
                            std::string& messageId);
    MapiResult MAPIAddress(MapiSession session, std::string_view caption, unsigned long flags,
                           std::vector<MapiRecipient>& chosen);

    // Why the last failed send failed, for the user: the program's exit
    // status and what it wrote, a time-out, a recipient or file refused.
    [[nodiscard]] const std::string& LastFailure() const { return lastFailure_; }
    // Records of MAPIResolveName not yet released.
    [[nodiscard]] std::size_t OutstandingBuffers() const { return buffers_.size(); }

private:
    [[nodiscard]] bool IsValidSession(MapiSession session) const;
    MapiResult Fail(MapiResult code, std::string reason);

    std::string program_;
    int timeoutSeconds_;
    const Clock* clock_;
    std::vector<MapiSession> sessions_;
    MapiSession nextSession_ = 1;
    std::vector<std::unique_ptr<MapiRecipient>> buffers_;
    std::string lastFailure_;
};

// Whether the path names a file this process may execute.
[[nodiscard]] bool IsExecutableProgram(const std::string& path);

// The layer when the sendmail program exists and may be executed; nothing
// (the service is not available) otherwise. No message either way.
[[nodiscard]] std::unique_ptr<SendmailLayer> LoadSimpleMapi(const std::string& program, int timeoutSeconds);

} // namespace morvanta
