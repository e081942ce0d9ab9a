#include "net/WhoisClient.h"

namespace morvanta {

WhoisClient::WhoisClient()
{
    Host = WhoisDefaultHost;
    Port = WhoisDefaultPort;
}

std::string WhoisClient::Query(const std::string& request)
{
    OpenConnection();
    std::string answer;
    try {
        IOHandler()->SendLine(request);
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
