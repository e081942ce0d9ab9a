#include "mailer/SystemMailClient.h"

#include "base/Files.h"

namespace morvanta {

namespace {

std::string LastComponent(const std::string& path)
{
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void Fire(const std::function<void(SystemMailClient&)>& event, SystemMailClient& client)
{
    if (event)
        event(client);
}

} // namespace

SystemMailClient::SystemMailClient(std::unique_ptr<SendmailLayer> layer)
    : layer_(std::move(layer))
{
}

SystemMailClient::~SystemMailClient()
{
    if (session_ == 0 || !layer_)
        return;
    try {
        Logoff();
    } catch (...) {
        // Nothing is left to tell at this point.
    }
}

std::string SystemMailClient::Version()
{
    return MORVANTA_VERSION;
}

void SystemMailClient::SetLongText(std::optional<std::string> text)
{
    longText_ = std::move(text);
    text_.clear();
}

void SystemMailClient::ClearMessage()
{
    Acknowledge = false;
    Attachment.clear();
    Bcc.clear();
    CC.clear();
    Recipient.clear();
    subject_.clear();
    longText_.reset();
}

std::string SystemMailClient::ShortenAttachmentName(const std::string& name)
{
    constexpr std::size_t Longest = 12;
    if (name.size() <= Longest)
        return name;
    std::string result = name;
    std::size_t dot = result.find('.');
    if (dot != std::string::npos && dot >= 9)
        result = result.substr(dot - 8);
    if (result.size() > Longest)
        result = result.substr(result.size() - Longest);
    std::size_t firstKept = result.find_first_not_of('.');
    return firstKept == std::string::npos ? std::string() : result.substr(firstKept);
}

void SystemMailClient::CheckMapiAvailable() const
{
    if (!layer_)
        throw MapiUnavailableError();
}

void SystemMailClient::FireBeforeLogon()
{
    Fire(OnBeforeLogon, *this);
}
void SystemMailClient::FireAfterLogon()
{
    Fire(OnAfterLogon, *this);
}
void SystemMailClient::FireBeforeLogoff()
{
    Fire(OnBeforeLogoff, *this);
}
void SystemMailClient::FireAfterLogoff()
{
    Fire(OnAfterLogoff, *this);
}
void SystemMailClient::FireBeforeSaveMail()
{
    Fire(OnBeforeSaveMail, *this);
}
void SystemMailClient::FireAfterSaveMail()
{
    Fire(OnAfterSaveMail, *this);
}
void SystemMailClient::FireBeforeSendMail()
{
    Fire(OnBeforeSendMail, *this);
}
void SystemMailClient::FireAfterSendMail()
{
    Fire(OnAfterSendMail, *this);
}

void SystemMailClient::FireMapiError(MapiResult code)
{
    if (OnMapiError)
        OnMapiError(*this, code);
}

unsigned long SystemMailClient::LogonFlags() const
{
    return (DownloadFirst ? mapi::ForceDownload : 0UL) | (NewSession ? mapi::NewSession : 0UL);
}

MapiResult SystemMailClient::Logon()
{
    CheckMapiAvailable();
    if (session_ != 0)
        return mapi::SuccessSuccess;
    // UseDefaultProfile: no default profile is stored anywhere, so Profile
    // keeps its value.
    FireBeforeLogon();
    MapiResult result = layer_->MAPILogon(profile_, password_, LogonFlags(), session_);
    if (result != mapi::SuccessSuccess)
        result = layer_->MAPILogon({}, {}, LogonFlags() | mapi::LogonUi, session_);
    if (result != mapi::SuccessSuccess) {
        session_ = 0;
        FireMapiError(result);
    } else {
        FireAfterLogon();
    }
    return result;
}

MapiResult SystemMailClient::Logoff()
{
    CheckMapiAvailable();
    if (session_ == 0)
        return mapi::SuccessSuccess;
    FireBeforeLogoff();
    MapiResult result = layer_->MAPILogoff(session_, 0);
    session_ = 0;
    FireAfterLogoff();
    return result;
}

bool SystemMailClient::ResolveLine(std::string& line, unsigned long recipientClass, MapiRecipient& recipient)
{
    MapiRecipient* resolved = nullptr;
    MapiResult result = layer_->MAPIResolveName(session_, line, 0, resolved);
    if (result == mapi::AmbiguousRecipient || result == mapi::UnknownRecipient)
        result = layer_->MAPIResolveName(session_, line, mapi::Dialog, resolved);
    if (result != mapi::SuccessSuccess || resolved == nullptr) {
        FireMapiError(result);
        return false;
    }

    recipient.recipientClass = recipientClass;
    bool literal = line.find('[') != std::string::npos && line.find(']') != std::string::npos;
    if (literal && resolved->name.find_first_of("[]") == std::string::npos) {
        // A literal address such as "[SMTP:someone@example.org]": the line
        // without its brackets is both the name and the address.
        (void)layer_->MAPIFreeBuffer(resolved);
        std::string text = line.substr(0, ShortTextLength);
        if (std::size_t open = text.find('['); open != std::string::npos)
            text.erase(open, 1);
        if (std::size_t close = text.find(']'); close != std::string::npos)
            text.erase(close, 1);
        recipient.name = text;
        recipient.address = text;
        recipient.entryId.clear();
        return true;
    }
    recipient.name = resolved->name;
    recipient.address = resolved->address.empty() ? resolved->name : resolved->address;
    recipient.entryId = resolved->entryId;
    line = resolved->name;
    (void)layer_->MAPIFreeBuffer(resolved);
    return true;
}

MapiResult SystemMailClient::SendMail()
{
    CheckMapiAvailable();
    lastFailure_.clear();
    if (Recipient.size() + CC.size() + Bcc.size() > MaxListEntries) {
        lastFailure_ = "The message has too many recipients.";
        FireMapiError(mapi::TooManyRecipients);
        return mapi::TooManyRecipients;
    }
    if (Attachment.size() > MaxListEntries) {
        lastFailure_ = "The message has too many attachments.";
        FireMapiError(mapi::TooManyFiles);
        return mapi::TooManyFiles;
    }

    const bool hadSession = session_ != 0;
    if (Logon() != mapi::SuccessSuccess) {
        lastFailure_ = "The mail program " + layer_->Program() + " cannot be run.";
        FireMapiError(mapi::LoginFailure);
        return mapi::LoginFailure;
    }
    // A session opened for this send only is closed again, whatever happens.
    auto finish = [&](MapiResult result) {
        if (!hadSession)
            (void)Logoff();
        return result;
    };

    MapiMessage message;
    message.subject = subject_;
    message.noteText = longText_ ? *longText_ : text_;

    const std::pair<std::vector<std::string>*, unsigned long> lists[] = {
        { &Recipient, mapi::To },
        { &CC, mapi::Cc },
        { &Bcc, mapi::Bcc },
    };
    for (const auto& [list, recipientClass] : lists) {
        for (std::string& line : *list) {
            if (line.empty())
                continue;
            MapiRecipient recipient;
            if (ResolveLine(line, recipientClass, recipient))
                message.recipients.push_back(std::move(recipient));
        }
    }

    for (const std::string& path : Attachment) {
        if (!FileExists(path)) {
            lastFailure_ = "The attachment " + path + " does not exist.";
            FireMapiError(mapi::AttachmentNotFound);
            return finish(mapi::AttachmentNotFound);
        }
        std::string name = LastComponent(path);
        message.files.push_back({ -1, path, TruncateAttachmentNames ? ShortenAttachmentName(name) : name });
    }

    unsigned long flags = 0;
    if (message.recipients.empty())
        flags = mapi::Dialog; // the service's own form would ask for them
    else if (ShowDialog)
        flags = mapi::Dialog;
    if (Acknowledge)
        message.flags |= mapi::ReceiptRequested;

    FireBeforeSendMail();
    MapiResult result = layer_->MAPISendMail(session_, message, flags);
    if (result != mapi::SuccessSuccess) {
        lastFailure_ = message.recipients.empty()
                           ? "None of the recipients is an e-mail address the system's mail service can deliver to."
                           : layer_->LastFailure();
        FireMapiError(result);
    } else {
        FireAfterSendMail();
    }
    return finish(result);
}

} // namespace morvanta
