#pragma once

#include "net/TcpClient.h"

#include <string>

namespace morvanta {

inline constexpr const char* WhoisDefaultHost = "whois.internic.net";
inline constexpr int WhoisDefaultPort = 43;

// Asks one WHOIS server one question (RFC 3912): connect, send the query as
// one line, read until the server closes, close.
class WhoisClient : public TcpClientBase {
public:
    WhoisClient();

    // The answer exactly as the server sent it, line ends included. The
    // connection is closed afterwards, also when the query fails.
    [[nodiscard]] std::string Query(const std::string& request);
};

} // namespace morvanta
