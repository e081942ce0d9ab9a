#pragma once

#include "net/IdComponent.h"
#include "net/IdIOHandler.h"
#include "net/IdReplySMTP.h"

#include <functional>
#include <memory>
#include <string_view>
#include <vector>

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

    // Sends the command as one line, then reads its reply with ReadReply.
    // Raises EIdNotConnected ("Not connected.") without an I/O handler, and
    // EIdException, before anything is sent, for a command holding a line
    // break or a NUL.
    virtual int SendCommand(std::string_view command, const std::vector<int>& allowedCodes = {});
    // Reads one reply into LastReply: empty lines before it are skipped, and
    // lines with a hyphen after the code continue it. Raises
    // EIdSMTPReplyError when allowedCodes is not empty and lacks the code;
    // LastReply keeps the reply either way. Returns the code.
    virtual int ReadReply(const std::vector<int>& allowedCodes = {});

    [[nodiscard]] const TIdReplySMTP& LastReply() const { return lastReply_; }

protected:
    // A protocol's good-bye (the SMTP client's QUIT); nothing here.
    virtual void NotifyPeerOfClose() {}

    std::unique_ptr<TIdIOHandler> ioHandler_;
    TIdReplySMTP lastReply_;
};

// Raises EIdException when the text cannot travel as one command line.
void CheckCommandLine(std::string_view command);

} // namespace morvanta
