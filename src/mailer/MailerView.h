#pragma once

#include <string>
#include <vector>

namespace morvanta {

// The mailer window's fields as its controller reads and writes them. The Qt
// window implements it over its widgets; morvanta-cli and the tests over
// plain texts (MailerFields). Every text is the core's byte string; the
// window converts with the locale's codec.
class MailerView {
public:
    virtual ~MailerView() = default;

    // The E-Mails box: its text and its drop-down history, most recent first.
    [[nodiscard]] virtual std::string Recipients() const = 0;
    virtual void SetRecipients(const std::string& text) = 0;
    [[nodiscard]] virtual std::vector<std::string> RecipientHistory() const = 0;
    virtual void SetRecipientHistory(const std::vector<std::string>& entries) = 0;

    [[nodiscard]] virtual std::string Subject() const = 0;
    virtual void SetSubject(const std::string& text) = 0;
    [[nodiscard]] virtual std::string Cc() const = 0;
    virtual void SetCc(const std::string& text) = 0;
    [[nodiscard]] virtual std::string Bcc() const = 0;
    virtual void SetBcc(const std::string& text) = 0;

    // The Attachment box: the path of a file to attach, or empty.
    [[nodiscard]] virtual std::string AttachmentPath() const = 0;
    virtual void SetAttachmentPath(const std::string& path) = 0;

    // The message box, as lines (a line ends at CR LF, a lone LF or a lone CR).
    [[nodiscard]] virtual std::vector<std::string> MessageLines() const = 0;
    virtual void SetMessageLines(const std::vector<std::string>& lines) = 0;

    // The template list: file names in listing order, and the selected
    // position (-1: none).
    virtual void SetTemplateNames(const std::vector<std::string>& names) = 0;
    [[nodiscard]] virtual int SelectedTemplate() const = 0;
    virtual void SelectTemplate(int position) = 0;

    // The read-only info box: emptied, and one line added at a time.
    virtual void ClearInfo() = 0;
    virtual void AppendInfo(const std::string& line) = 0;

    // The one-line status bar.
    virtual void SetStatus(const std::string& text) = 0;

    // The file-open dialog, starting in the folder: true with the chosen
    // path, false when the user cancels.
    [[nodiscard]] virtual bool ChooseAttachmentFile(const std::string& startFolder, std::string& path) = 0;

    // The folder picker, starting at the folder: true with the chosen folder,
    // false when the user cancels.
    [[nodiscard]] virtual bool ChooseBulkFolder(const std::string& startFolder, std::string& folder) = 0;
};

// A view over plain texts: what morvanta-cli and the tests give the
// controller. Nothing is asked of a user: both dialogs answer with the
// texts set here (an empty answer cancels).
class MailerFields : public MailerView {
public:
    std::string recipients;
    std::vector<std::string> recipientHistory;
    std::string subject;
    std::string cc;
    std::string bcc;
    std::string attachmentPath;
    std::vector<std::string> messageLines;
    std::vector<std::string> templateNames;
    int selectedTemplate = -1;
    std::vector<std::string> info;
    std::string status;
    // Every status text in order, for tests and for the tool's progress.
    std::vector<std::string> statusHistory;
    std::string attachmentAnswer;
    std::string bulkFolderAnswer;

    [[nodiscard]] std::string Recipients() const override { return recipients; }
    void SetRecipients(const std::string& text) override { recipients = text; }
    [[nodiscard]] std::vector<std::string> RecipientHistory() const override { return recipientHistory; }
    void SetRecipientHistory(const std::vector<std::string>& entries) override { recipientHistory = entries; }
    [[nodiscard]] std::string Subject() const override { return subject; }
    void SetSubject(const std::string& text) override { subject = text; }
    [[nodiscard]] std::string Cc() const override { return cc; }
    void SetCc(const std::string& text) override { cc = text; }
    [[nodiscard]] std::string Bcc() const override { return bcc; }
    void SetBcc(const std::string& text) override { bcc = text; }
    [[nodiscard]] std::string AttachmentPath() const override { return attachmentPath; }
    void SetAttachmentPath(const std::string& path) override { attachmentPath = path; }
    [[nodiscard]] std::vector<std::string> MessageLines() const override { return messageLines; }
    void SetMessageLines(const std::vector<std::string>& lines) override { messageLines = lines; }
    void SetTemplateNames(const std::vector<std::string>& names) override { templateNames = names; }
    [[nodiscard]] int SelectedTemplate() const override { return selectedTemplate; }
    void SelectTemplate(int position) override { selectedTemplate = position; }
    void ClearInfo() override { info.clear(); }
    void AppendInfo(const std::string& line) override { info.push_back(line); }
    void SetStatus(const std::string& text) override
    {
        status = text;
        statusHistory.push_back(text);
    }
    [[nodiscard]] bool ChooseAttachmentFile(const std::string&, std::string& path) override
    {
        path = attachmentAnswer;
        return !path.empty();
    }
    [[nodiscard]] bool ChooseBulkFolder(const std::string&, std::string& folder) override
    {
        folder = bulkFolderAnswer;
        return !folder.empty();
    }
};

} // namespace morvanta
