#pragma once

#include "net/IoHandler.h"
#include "net/NetComponent.h"
#include "net/SmtpReply.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

namespace morvanta {

// No server needs more for one reply; the longest honest ones (EHLO) hold
// a few dozen lines.
inline constexpr size_t MaxReplyLines = 1000;
inline constexpr size_t MaxReplySize = 1024 * 1024;

// One connection: owns its I/O handler, tells whether it is connected, and
// closes.
class TcpConnection : public NetComponent {
public:
    using NotifyEvent = std::function<void(NetComponent* sender)>;

    TcpConnection() = default;
    ~TcpConnection() override;

    NotifyEvent OnConnected;
    NotifyEvent OnDisconnected;

    // The handler, or nullptr before the first opening.
    [[nodiscard]] IoHandler* IOHandler() const { return ioHandler_.get(); }
    // Gives the connection a handler of another kind (a TLS one, say)
    // instead of the plain one created at the first opening.
    void SetIOHandler(std::unique_ptr<IoHandler> handler);

    // False without an I/O handler; otherwise the handler's answer.
    [[nodiscard]] virtual bool IsConnected();
    // With notifyPeer, and while connected, first says good-bye through
    // NotifyPeerOfClose; then closes the handler in every case. An error of
    // the good-bye is raised after the socket has been closed.
    virtual void CloseConnection(bool notifyPeer = true);

    // Sends the command as one line, then reads its reply with ReadReply.
    // Raises NotConnectedError ("Not connected.") without an I/O handler, and
    // NetError, before anything is sent, for a command holding a line
    // break or a NUL.
    virtual int SendCommand(std::string_view command, const std::vector<int>& allowedCodes = {});
    // Reads one reply into LastReply: empty lines before it are skipped, and
    // lines with a hyphen after the code continue it. Raises
    // SmtpReplyError when allowedCodes is not empty and lacks the code;
    // LastReply keeps the reply either way. Returns the code. A reply of
    // more than MaxReplyLines lines or MaxReplySize bytes (the empty lines
    // before it included) closes the connection and raises
    // ReplyTooLongError.
    virtual int ReadReply(const std::vector<int>& allowedCodes = {});

    [[nodiscard]] const SmtpReply& LastReply() const { return lastReply_; }

protected:
    // A protocol's good-bye (the SMTP client's QUIT); nothing here.
    virtual void NotifyPeerOfClose() { }

    std::unique_ptr<IoHandler> ioHandler_;
    SmtpReply lastReply_;
};

// Raises NetError when the text cannot travel as one command line.
void CheckCommandLine(std::string_view command);

} // namespace morvanta
