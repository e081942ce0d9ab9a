#include "mailer/SendmailLayer.h"

#include "base/Files.h"
#include "base/Text.h"
#include "net/EmailAddress.h"
#include "net/HeaderCoding.h"
#include "net/MailMessage.h"
#include "net/MessageErrors.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <exception>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace morvanta {

namespace {

// What the program wrote is kept up to this size for the user.
constexpr std::size_t OutputKept = 4096;

class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int fd)
        : fd_(fd)
    {
    }
    ~Descriptor() { Close(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    [[nodiscard]] int Get() const { return fd_; }
    [[nodiscard]] bool IsOpen() const { return fd_ >= 0; }
    void Close() { Reset(-1); }
    void Reset(int fd)
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_ = -1;
};

bool MakePipe(Descriptor& readEnd, Descriptor& writeEnd)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return false;
    readEnd.Reset(fds[0]);
    writeEnd.Reset(fds[1]);
    return true;
}

void SetNonBlocking(int fd)
{
    int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

struct RunResult {
    bool started = false;
    int startError = 0;
    bool timedOut = false;
    bool exited = false;
    int exitStatus = -1;
    int signal = 0;
    bool inputTaken = false; // the program read every byte of the input
    std::string output; // standard output and error, cut at OutputKept
};

using SteadyTime = std::chrono::steady_clock::time_point;

// Milliseconds poll may wait: up to the deadline, and in slices short
// enough to notice the program's end while its output stays open.
int PollWait(bool hasDeadline, SteadyTime deadline)
{
    constexpr int Slice = 100;
    if (!hasDeadline)
        return Slice;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::clamp<long long>(left.count(), 0, Slice));
}

void KeepOutput(RunResult& result, const char* bytes, std::size_t count)
{
    std::size_t room = OutputKept - std::min(OutputKept, result.output.size());
    result.output.append(bytes, std::min(room, count));
}

// Runs the program without a shell, with the input on its standard input
// and its standard output and error collected through one pipe, so neither
// side can block the other. It runs in a process group of its own, which a
// time-out ends as a whole. This side keeps the input pipe's read end too:
// a write then never raises SIGPIPE, and what is left in the pipe when the
// program has ended tells that it did not read the whole message.
RunResult RunProgram(const std::vector<std::string>& argv, std::string_view input, int timeoutSeconds)
{
    RunResult result;
    Descriptor inputRead, inputWrite, outputRead, outputWrite;
    if (!MakePipe(inputRead, inputWrite) || !MakePipe(outputRead, outputWrite)) {
        result.startError = errno;
        return result;
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, inputRead.Get(), STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, outputWrite.Get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, outputWrite.Get(), STDERR_FILENO);
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);

    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);

    pid_t pid = -1;
    int spawned = ::posix_spawn(&pid, argv[0].c_str(), &actions, &attributes, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0) {
        result.startError = spawned;
        return result;
    }
    result.started = true;
    outputWrite.Close();
    SetNonBlocking(inputWrite.Get());
    SetNonBlocking(outputRead.Get());

    const bool hasDeadline = timeoutSeconds > 0;
    const SteadyTime deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    std::size_t written = 0;
    if (input.empty())
        inputWrite.Close();
    int status = 0;
    char buffer[4096];

    auto drainOutput = [&] {
        for (;;) {
            ssize_t got = ::read(outputRead.Get(), buffer, sizeof buffer);
            if (got > 0) {
                KeepOutput(result, buffer, static_cast<std::size_t>(got));
                continue;
            }
            if (got < 0 && errno == EINTR)
                continue;
            if (got == 0)
                outputRead.Close();
            return;
        }
    };

    for (;;) {
        pid_t ended = ::waitpid(pid, &status, WNOHANG);
        if (ended == pid) {
            result.exited = true;
            // What is already in the pipe still counts; a process the
            // program left behind may keep it open, so no more is awaited.
            if (outputRead.IsOpen())
                drainOutput();
            break;
        }
        if (hasDeadline && std::chrono::steady_clock::now() >= deadline) {
            result.timedOut = true;
            ::kill(-pid, SIGKILL);
            while (::waitpid(pid, &status, 0) == -1 && errno == EINTR) { }
            return result;
        }

        pollfd fds[2];
        nfds_t count = 0;
        if (inputWrite.IsOpen())
            fds[count++] = { inputWrite.Get(), POLLOUT, 0 };
        if (outputRead.IsOpen())
            fds[count++] = { outputRead.Get(), POLLIN, 0 };
        int ready = ::poll(fds, count, PollWait(hasDeadline, deadline));
        if (ready < 0 && errno != EINTR)
            break;
        if (ready <= 0)
            continue;
        for (nfds_t i = 0; i < count; ++i) {
            if (fds[i].revents == 0)
                continue;
            if (fds[i].fd == inputWrite.Get()) {
                ssize_t sent = ::write(inputWrite.Get(), input.data() + written, input.size() - written);
                if (sent > 0) {
                    written += static_cast<std::size_t>(sent);
                    if (written == input.size())
                        inputWrite.Close();
                } else if (sent < 0 && errno != EAGAIN && errno != EINTR) {
                    inputWrite.Close(); // the rest cannot be written
                }
            } else if (fds[i].fd == outputRead.Get()) {
                drainOutput();
            }
        }
    }

    if (!result.exited) {
        ::kill(-pid, SIGKILL);
        while (::waitpid(pid, &status, 0) == -1 && errno == EINTR) { }
        result.exited = true;
    }
    int unread = 0;
    result.inputTaken = written == input.size() && ::ioctl(inputRead.Get(), FIONREAD, &unread) == 0 && unread == 0;
    if (WIFEXITED(status))
        result.exitStatus = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        result.signal = WTERMSIG(status);
    return result;
}

// Collects the composed message with the local line end, as sendmail reads it.
class TextSink : public MessageSink {
public:
    void WriteLine(std::string_view line) override
    {
        text.append(line);
        text += '\n';
    }
    std::string text;
};

bool HasControlOrBlank(std::string_view text)
{
    return std::any_of(text.begin(), text.end(), [](char c) {
        auto byte = static_cast<unsigned char>(c);
        return byte <= 32 || byte == 127;
    });
}

// A mailbox address the system's mail service can deliver to: a local part
// and a domain around one "@", with nothing in it that could end a header
// line or split an address.
bool IsDeliverable(const EmailAddress& item)
{
    const std::string& address = item.Address;
    std::size_t at = address.rfind('@');
    return at != std::string::npos && at > 0 && at + 1 < address.size() && !HasControlOrBlank(address)
           && item.Name.find_first_of("\r\n") == std::string::npos;
}

// The addresses of a text, or false when any entry is not one.
bool ParseMailboxes(std::string_view text, EmailAddressList& list)
{
    try {
        list.SetAddressListText(text);
    } catch (const EmailParseError&) {
        return false;
    }
    if (list.Empty())
        return false;
    return std::all_of(list.begin(), list.end(), IsDeliverable);
}

// The addresses named by a resolved recipient: its address, or its name
// when it has none, with the "SMTP:" type taken off.
bool RecipientMailboxes(const MapiRecipient& recipient, EmailAddressList& list)
{
    std::string_view text = recipient.address.empty() ? recipient.name : recipient.address;
    std::string trimmed = Trim(text);
    std::string_view rest = trimmed;
    if (rest.size() >= 5 && SameText(rest.substr(0, 5), "SMTP:"))
        rest.remove_prefix(5);
    return ParseMailboxes(rest, list);
}

void AppendAll(EmailAddressList& to, const EmailAddressList& from)
{
    for (const EmailAddress& item : from)
        to.Add() = item;
}

std::string Describe(const std::string& program, const RunResult& run, int timeoutSeconds)
{
    std::string reason;
    if (!run.started)
        return "The mail program " + program + " could not be started: " + std::strerror(run.startError);
    if (run.timedOut)
        reason = "The mail program " + program + " did not finish within " + std::to_string(timeoutSeconds)
                 + " seconds and was stopped.";
    else if (run.signal != 0)
        reason = "The mail program " + program + " was ended by signal " + std::to_string(run.signal) + ".";
    else if (run.exitStatus != 0)
        reason = "The mail program " + program + " failed with exit status " + std::to_string(run.exitStatus) + ".";
    else
        reason = "The mail program " + program + " stopped reading before the end of the message.";
    std::string output = TrimRight(run.output);
    if (!output.empty())
        reason += "\r\n" + LfToCrLf(output);
    return reason;
}

} // namespace

bool IsExecutableProgram(const std::string& path)
{
    struct stat info { };
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)
           && ::access(path.c_str(), X_OK) == 0;
}

std::unique_ptr<SendmailLayer> LoadSimpleMapi(const std::string& program, int timeoutSeconds)
{
    if (!IsExecutableProgram(program))
        return nullptr;
    return std::make_unique<SendmailLayer>(program, timeoutSeconds);
}

SendmailLayer::SendmailLayer(std::string program, int timeoutSeconds, const Clock& clock)
    : program_(std::move(program))
    , timeoutSeconds_(std::max(0, timeoutSeconds))
    , clock_(&clock)
{
}

SendmailLayer::~SendmailLayer() = default;

bool SendmailLayer::IsValidSession(MapiSession session) const
{
    // 0 asks for a session of the call's own, as Simple MAPI allows.
    return session == 0 || std::find(sessions_.begin(), sessions_.end(), session) != sessions_.end();
}

MapiResult SendmailLayer::Fail(MapiResult code, std::string reason)
{
    lastFailure_ = std::move(reason);
    return code;
}

MapiResult SendmailLayer::MAPILogon(std::string_view, std::string_view, unsigned long, MapiSession& session)
{
    session = 0;
    if (!IsExecutableProgram(program_))
        return mapi::LoginFailure;
    session = nextSession_++;
    sessions_.push_back(session);
    return mapi::SuccessSuccess;
}

MapiResult SendmailLayer::MAPILogoff(MapiSession session, unsigned long)
{
    auto found = std::find(sessions_.begin(), sessions_.end(), session);
    if (session == 0 || found == sessions_.end())
        return mapi::InvalidSession;
    sessions_.erase(found);
    return mapi::SuccessSuccess;
}

MapiResult SendmailLayer::MAPIResolveName(MapiSession session, std::string_view name, unsigned long,
                                          MapiRecipient*& resolved)
{
    resolved = nullptr;
    if (!IsValidSession(session))
        return mapi::InvalidSession;

    // A line break or NUL would let a name reach beyond its header line.
    if (name.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos)
        return mapi::UnknownRecipient;
    std::string text = Trim(name);
    std::string_view addresses = text;
    if (!addresses.empty() && addresses.front() == '[') {
        std::size_t close = addresses.find(']');
        if (close != std::string_view::npos && !Trim(addresses.substr(close + 1)).empty())
            return mapi::UnknownRecipient;
        std::string_view literal = addresses.substr(1, close == std::string_view::npos ? close : close - 1);
        std::size_t colon = literal.find(':');
        if (colon == std::string_view::npos || !SameText(Trim(literal.substr(0, colon)), "SMTP"))
            return mapi::UnknownRecipient;
        addresses = literal.substr(colon + 1);
    }
    EmailAddressList list;
    if (!ParseMailboxes(addresses, list))
        return mapi::UnknownRecipient;

    auto record = std::make_unique<MapiRecipient>();
    std::string bare;
    std::string shown;
    for (const EmailAddress& item : list) {
        bare += (bare.empty() ? "" : ", ") + item.Address;
        shown += (shown.empty() ? "" : ", ") + item.Text();
    }
    record->name = list.Count() == 1 && !list[0].Name.empty() ? list[0].Name : shown;
    record->address = "SMTP:" + bare;
    record->entryId.assign(record->address.begin(), record->address.end());
    resolved = record.get();
    buffers_.push_back(std::move(record));
    return mapi::SuccessSuccess;
}

MapiResult SendmailLayer::MAPIFreeBuffer(const void* buffer)
{
    auto found = std::find_if(buffers_.begin(), buffers_.end(),
                              [buffer](const std::unique_ptr<MapiRecipient>& held) { return held.get() == buffer; });
    if (found == buffers_.end())
        return mapi::Failure;
    buffers_.erase(found);
    return mapi::SuccessSuccess;
}

MapiResult SendmailLayer::MAPISendMail(MapiSession session, const MapiMessage& message, unsigned long flags)
{
    lastFailure_.clear();
    if (!IsValidSession(session))
        return Fail(mapi::InvalidSession, "The mail session is not open.");
    if ((flags & mapi::Dialog) != 0)
        return Fail(mapi::NotSupported, "The system's mail service has no send form to show.");
    if ((message.flags & mapi::ReceiptRequested) != 0)
        return Fail(mapi::NotSupported, "The system's mail service cannot ask for a read receipt.");
    if (message.recipients.empty())
        return Fail(mapi::UnknownRecipient, "The message has no recipient.");

    MailMessage mail(*clock_);
    EmailAddressList bcc;
    for (const MapiRecipient& recipient : message.recipients) {
        EmailAddressList addresses;
        if (!RecipientMailboxes(recipient, addresses))
            return Fail(mapi::UnknownRecipient, "The recipient \"" + recipient.name + "\" is not an e-mail address.");
        // One bare address shows the recipient's display name, when it has one.
        if (addresses.Count() == 1 && addresses[0].Name.empty() && !recipient.name.empty()
            && recipient.name.find_first_of("@:\r\n") == std::string::npos)
            addresses[0].Name = recipient.name;
        switch (recipient.recipientClass) {
        case mapi::To: AppendAll(mail.Recipients, addresses); break;
        case mapi::Cc: AppendAll(mail.CCList, addresses); break;
        case mapi::Bcc: AppendAll(bcc, addresses); break;
        default:
            return Fail(mapi::BadRecipientType,
                        "The recipient \"" + recipient.name + "\" is neither a To, a CC nor a BCC recipient.");
        }
    }

    for (const MapiFile& file : message.files) {
        if (!FileExists(file.pathName))
            return Fail(mapi::AttachmentNotFound, "The attachment " + file.pathName + " does not exist.");
        AttachmentFile& part = mail.Parts.AddAttachmentFile(file.pathName);
        if (!file.fileName.empty())
            part.FileName = file.fileName;
        // A named pipe or device is refused here, without waiting on it.
        try {
            part.CheckReadable();
        } catch (const FileStreamError& error) {
            return Fail(mapi::AttachmentOpenFailure, error.what());
        }
    }

    mail.Subject = message.subject;
    mail.SetBodyText(message.noteText);
    // sendmail -t takes the blind copies from this header and removes it.
    if (!bcc.Empty())
        mail.ExtraHeaders.SetHeaderValue("Bcc", EncodeAddress(bcc, AddressAsName::Off, LocaleHeaderCoding()));

    TextSink sink;
    try {
        mail.WriteMessage(sink);
    } catch (const FileStreamError& error) {
        return Fail(mapi::AttachmentOpenFailure, error.what());
    } catch (const std::exception& error) {
        return Fail(mapi::Failure, error.what());
    }

    RunResult run = RunProgram({ program_, "-t", "-i" }, sink.text, timeoutSeconds_);
    if (run.started && !run.timedOut && run.signal == 0 && run.exitStatus == 0 && run.inputTaken)
        return mapi::SuccessSuccess;
    return Fail(mapi::Failure, Describe(program_, run, timeoutSeconds_));
}

MapiResult SendmailLayer::MAPIFindNext(MapiSession session, std::string_view, std::string_view, unsigned long,
                                       std::string& messageId)
{
    messageId.clear();
    return IsValidSession(session) ? mapi::NoMessages : mapi::InvalidSession;
}

MapiResult SendmailLayer::MAPIReadMail(MapiSession session, std::string_view, unsigned long, MapiMessage&)
{
    return IsValidSession(session) ? mapi::NotSupported : mapi::InvalidSession;
}

MapiResult SendmailLayer::MAPIDeleteMail(MapiSession session, std::string_view, unsigned long)
{
    return IsValidSession(session) ? mapi::NotSupported : mapi::InvalidSession;
}

MapiResult SendmailLayer::MAPISaveMail(MapiSession session, const MapiMessage&, unsigned long, std::string& messageId)
{
    messageId.clear();
    return IsValidSession(session) ? mapi::NotSupported : mapi::InvalidSession;
}

MapiResult SendmailLayer::MAPIAddress(MapiSession session, std::string_view, unsigned long,
                                      std::vector<MapiRecipient>& chosen)
{
    chosen.clear();
    return IsValidSession(session) ? mapi::NotSupported : mapi::InvalidSession;
}

} // namespace morvanta
