#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace morvanta {

// The system's mail program is not there (or not usable).
class MapiUnavailableError : public std::runtime_error {
public:
    MapiUnavailableError()
        : std::runtime_error("MAPI services are not available on this system")
    {
    }
};

// One report as the mailer hands it to the system's mail program.
struct SystemMailMessage {
    std::vector<std::string> recipients; // To lines, each resolved as one name
    std::vector<std::string> bcc;
    std::vector<std::string> attachments; // full paths
    std::string subject;
    std::string body;
};

// Delivery through the system's mail program, the alternative to the SMTP
// client when UseMAPI is set. Results are Simple MAPI result codes: 0 for
// success.
class SystemMail {
public:
    virtual ~SystemMail() = default;

    [[nodiscard]] virtual bool Available() const = 0;
    // Throw MapiUnavailableError when the mail program is not available.
    [[nodiscard]] virtual int Logon() = 0;
    [[nodiscard]] virtual int Logoff() = 0;
    [[nodiscard]] virtual int SendMail(const SystemMailMessage& message) = 0;
};

// What the mailer has until a mail program layer is plugged in: nothing is
// available.
class UnavailableSystemMail : public SystemMail {
public:
    [[nodiscard]] bool Available() const override { return false; }
    [[nodiscard]] int Logon() override { throw MapiUnavailableError(); }
    [[nodiscard]] int Logoff() override { throw MapiUnavailableError(); }
    [[nodiscard]] int SendMail(const SystemMailMessage&) override { throw MapiUnavailableError(); }
};

} // namespace morvanta
