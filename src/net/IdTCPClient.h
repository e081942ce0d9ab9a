#pragma once

#include "net/IdTCPConnection.h"

#include <memory>
#include <string>

namespace morvanta {

// A connection that opens itself to Host:Port.
class TIdTCPClientCustom : public TIdTCPConnection {
public:
    std::string Host;
    int Port = 0;
    int ReadTimeout = 0; // ms; 0 waits without limit
    TIdIPVersion IPVersion = Id_IPv4;

    // Connects to Host:Port, reporting "Resolving hostname %s." (for a name),
    // "Connecting to %s." and "Connected.". Raises EIdAlreadyConnected while
    // connected; on any other failure the client is left closed.
    virtual void OpenConnection();

protected:
    // Gives the client the handler of its kind (with its status handler)
    // unless it has one already.
    void EnsureIOHandler();
    [[nodiscard]] virtual std::unique_ptr<TIdIOHandler> CreateIOHandler() const;
};

class TIdTCPClient : public TIdTCPClientCustom {
};

// A ReadTimeout for a time-out set in seconds: 0 (no limit) for 0 or less,
// and no more than an int holds.
[[nodiscard]] int ReadTimeoutFromSeconds(int seconds);

} // namespace morvanta
