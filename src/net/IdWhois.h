#pragma once

#include "net/IdTCPClient.h"

#include <string>

namespace morvanta {

inline constexpr const char* IdWhoisDefaultHost = "whois.internic.net";
inline constexpr int IdWhoisDefaultPort = 43;

// Asks one WHOIS server one question (RFC 3912): connect, send the query as
// one line, read until the server closes, close.
class TIdWhois : public TIdTCPClientCustom {
public:
    TIdWhois();

    // The answer exactly as the server sent it, line ends included. The
    // connection is closed afterwards, also when the query fails.
    [[nodiscard]] std::string Query(const std::string& ARequest);
};

} // namespace morvanta
