#pragma once

#include "net/IdComponent.h"
#include "net/IdIOHandler.h"

#include <functional>
#include <memory>

namespace morvanta {

// One connection: owns its I/O handler, tells whether it is connected, and
// closes.
class TIdTCPConnection : public TIdComponent {
public:
    using TIdNotifyEvent = std::function<void(TIdComponent* ASender)>;

    TIdTCPConnection() = default;
    ~TIdTCPConnection() override;

    TIdNotifyEvent OnConnected;
    TIdNotifyEvent OnDisconnected;

    // The handler, or nullptr before the first opening.
    [[nodiscard]] TIdIOHandler* IOHandler() const { return ioHandler_.get(); }
    // Gives the connection a handler of another kind (a TLS one, say)
    // instead of the plain one created at the first opening.
    void SetIOHandler(std::unique_ptr<TIdIOHandler> handler);

    // False without an I/O handler; otherwise the handler's answer.
    [[nodiscard]] virtual bool IsConnected();
    // With notifyPeer, and while connected, first says good-bye through
    // NotifyPeerOfClose; then closes the handler in every case. An error of
    // the good-bye is raised after the socket has been closed.
    virtual void CloseConnection(bool notifyPeer = true);

protected:
    // A protocol's good-bye (the SMTP client's QUIT); nothing here.
    virtual void NotifyPeerOfClose() {}

    std::unique_ptr<TIdIOHandler> ioHandler_;
};

} // namespace morvanta
