#pragma once

#include "net/TcpConnection.h"

#include <memory>
#include <string>

namespace morvanta {

// A connection that opens itself to Host:Port.
class TcpClientBase : public TcpConnection {
public:
    std::string Host;
    int Port = 0;
    int ReadTimeout = 0; // ms; 0 waits without limit
    IpVersion IPVersion = IpVersion::V4;

    // Connects to Host:Port, reporting "Resolving hostname %s." (for a name),
    // "Connecting to %s." and "Connected.". Raises AlreadyConnectedError while
    // connected; on any other failure the client is left closed.
    virtual void OpenConnection();

protected:
    // Gives the client the handler of its kind (with its status handler)
    // unless it has one already.
    void EnsureIOHandler();
    [[nodiscard]] virtual std::unique_ptr<IoHandler> CreateIOHandler() const;
};

class TcpClient : public TcpClientBase { };

// A ReadTimeout for a time-out set in seconds: 0 (no limit) for 0 or less,
// and no more than an int holds.
[[nodiscard]] int ReadTimeoutFromSeconds(int seconds);

} // namespace morvanta
