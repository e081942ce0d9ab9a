#pragma once

#include "analysis/FoundContacts.h"
#include "investigate/ReportContext.h"
#include "net/WhoisClient.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace morvanta {

class Config;

enum class WhoisDetail { Brief, Detailed };

// The network routines of the investigation window: the registry chase, the
// abuse-contact service, reverse DNS and the contact search. The window owns
// one of these and with it the program's one WHOIS client; the mailer side
// uses the same instance while the window is hidden or was never shown.
//
// Server names, the WHOIS port and the time-out are read from the settings
// at every query, so settings read again take effect at once.
class ContactSearch : public std::enable_shared_from_this<ContactSearch> {
public:
    using StatusSink = std::function<void(const std::string&)>;

    // Both objects must outlive this one: the mailer owns them.
    ContactSearch(const Config& config, ReportContext& reportContext);
    virtual ~ContactSearch();
    ContactSearch(const ContactSearch&) = delete;
    ContactSearch& operator=(const ContactSearch&) = delete;

    // The investigation window's status line and the mailer's status line.
    // A failure's message is shown in the former after the server and port
    // it asked ("whois.example.net:43: Socket Error # 10061 ..."), or the
    // name it could not resolve.
    StatusSink OnStatus;
    StatusSink OnMailerStatus;

    WhoisClient whois_;
    // The WHOIS client aimed at the host, with the port and time-out the
    // settings give now.
    WhoisClient& WhoisAt(const std::string& host);

    // Asks DefaultWhoisHost about the address of the text (a host name is
    // resolved to its first IPv4 address) and follows the markers of its
    // answer to the regional registry and, from there, to AfriNIC, JPNIC or
    // BRNIC. Returns the last answer with every LF turned into CR LF; on any
    // failure, empty, with the failure's message in the status line.
    [[nodiscard]] std::string ChaseRegistries(const std::string& target, WhoisDetail detail);

    // Asks the abuse-contact service about a domain, or about the reverse
    // name of an address. Empty when the address has no name or on failure.
    [[nodiscard]] std::string QueryAbuseService(const std::string& target);

    // The host name of the address, or "No rDNS" when the look-up fails.
    [[nodiscard]] std::string ReverseName(const std::string& address);

    // The complaint addresses for the address: the abuse service first, then
    // the brief and the detailed registry chase as the level asks (0: stop
    // at the first source that gives addresses; 1: always the brief chase;
    // 2 and above: everything, every line harvested). At levels 0 and 1 the
    // abuse mailboxes a registry answer designates stand for it, unless the
    // settings say otherwise. Makes the address the report's CurrentIP and
    // writes its progress into the mailer's status line. Tells whether any
    // server answered: a stored answer reused counts, as it was answered.
    [[nodiscard]] FoundContacts FindContacts(const std::string& address, std::uint16_t level);

    // Whether the address is not one a network operator holds: a
    // special-purpose address (private, loopback, documentation, multicast,
    // ...) or a text that is no address at all is, without any query; of any
    // other address DefaultWhoisHost is asked whether IANA holds it, once for
    // the life of the report context. False when that query fails (the
    // failure is not remembered).
    [[nodiscard]] bool IsIanaReserved(const std::string& address);

    // The message of the failure that ended the last ChaseRegistries,
    // QueryAbuseService or IsIanaReserved, or nothing when it succeeded.
    [[nodiscard]] const std::optional<std::string>& LastFailure() const { return lastFailure_; }

    static constexpr const char* NoRDNS = "No rDNS";
    static constexpr const char* IanaMarker = "Internet Assigned Numbers Authority";

private:
    [[nodiscard]] std::string Ask(const std::string& host, const std::string& query);
    void ShowStatus(const std::string& text);
    // A "Searching ..." text, put on screen before the next registry is asked.
    void ShowProgress(const std::string& text);
    void Fail(const std::string& message);

    const Config& config_;
    ReportContext& report_;
    std::optional<std::string> lastFailure_;
    // What the routine under way is asking: "host:port" of the server, or
    // the name being resolved; empty before that.
    std::string asking_;
    // Queries answered so far, so that a search can tell whether any was.
    unsigned long answers_ = 0;
};

// The reference to the one investigation window, held by the report session:
// empty while none exists. Whoever needs the window's routines and finds it
// empty creates one, hidden, through the factory; the window empties the
// reference when it closes. An instance that is still running a routine when
// it is closed lives on until that routine returns.
class ContactSearchReference {
public:
    using Factory = std::function<std::shared_ptr<ContactSearch>()>;

    // What creates an instance: the Qt program creates its window here, the
    // command-line tool and tests a bare instance.
    void SetFactory(Factory factory);

    [[nodiscard]] ContactSearch* Get() const { return instance_.get(); }
    explicit operator bool() const { return instance_ != nullptr; }

    // The instance, created through the factory when there is none. Throws
    // std::logic_error when no factory is set.
    ContactSearch& Ensure();

    // The window closes: the reference is emptied.
    void Close();

private:
    Factory factory_;
    std::shared_ptr<ContactSearch> instance_;
};

} // namespace morvanta
