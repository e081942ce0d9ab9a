#include "net/IdWhois.h"

namespace morvanta {

TIdWhois::TIdWhois()
{
    Host = IdWhoisDefaultHost;
    Port = IdWhoisDefaultPort;
}

std::string TIdWhois::Query(const std::string& ARequest)
{
    OpenConnection();
    std::string answer;
    try {
        IOHandler()->SendLine(ARequest);
        answer = IOHandler()->ReceiveUntilClosed();
    } catch (...) {
        try {
            CloseConnection();
        } catch (...) {
            // The failure of the query is the one worth reporting.
        }
        throw;
    }
    CloseConnection();
    return answer;
}

} // namespace morvanta
