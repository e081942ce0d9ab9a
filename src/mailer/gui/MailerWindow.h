#pragma once

#include "mailer/MailerController.h"
#include "mailer/MailerView.h"

#include <QMainWindow>

#include <cstdint>

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QToolBar;
class QToolButton;

namespace morvanta {

class HelpWindow;
class MessageEdit;

// The mailer window, the program's main window: a view of its controller,
// whose commands its menus and tool buttons run.
class MailerWindow : public QMainWindow, public MailerView {
    Q_OBJECT

public:
    // The controller must have been started (its settings exist) and must
    // outlive the window.
    explicit MailerWindow(MailerController& controller, QWidget* parent = nullptr);
    ~MailerWindow() override;

    // The anchors of the help file that the help commands open.
    static constexpr const char* HelpContents = "contents";
    static constexpr const char* HelpTopic = "topic60";

    // The help window, once a help command has opened it.
    [[nodiscard]] HelpWindow* Help() const { return help_; }

    // MailerView
    [[nodiscard]] std::string Recipients() const override;
    void SetRecipients(const std::string& text) override;
    [[nodiscard]] std::vector<std::string> RecipientHistory() const override;
    void SetRecipientHistory(const std::vector<std::string>& entries) override;
    [[nodiscard]] std::string Subject() const override;
    void SetSubject(const std::string& text) override;
    [[nodiscard]] std::string Cc() const override;
    void SetCc(const std::string& text) override;
    [[nodiscard]] std::string Bcc() const override;
    void SetBcc(const std::string& text) override;
    [[nodiscard]] std::string AttachmentPath() const override;
    void SetAttachmentPath(const std::string& path) override;
    [[nodiscard]] std::vector<std::string> MessageLines() const override;
    void SetMessageLines(const std::vector<std::string>& lines) override;
    void SetTemplateNames(const std::vector<std::string>& names) override;
    [[nodiscard]] int SelectedTemplate() const override;
    void SelectTemplate(int position) override;
    void ClearInfo() override;
    void AppendInfo(const std::string& line) override;
    void SetStatus(const std::string& text) override;
    [[nodiscard]] bool ChooseAttachmentFile(const std::string& startFolder, std::string& path) override;
    [[nodiscard]] bool ChooseBulkFolder(const std::string& startFolder, std::string& folder) override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildActions();
    void BuildMenus();
    void BuildToolBar();
    void BuildFields();
    void SetTabOrder();
    void FitToFont();
    void PlaceOnScreen();

    template <typename Command> QAction* AddCommand(const char* objectName, const QString& caption, Command command);
    void RunTemplateSelection(int row);
    void OnFocusChanged(QWidget* old, QWidget* now);
    void LoadDroppedFiles(const QStringList& paths);
    void ShowHelp(const char* anchor);
    void ShowAbout();

    MailerController& controller_;
    bool shown_ = false;
    bool settingTemplates_ = false;
    bool templateMousePress_ = false;

    QAction* sendReportAction_ = nullptr;
    QAction* bulkReportAction_ = nullptr;
    QAction* netvaneAction_ = nullptr;
    QAction* urlLauncherAction_ = nullptr;
    QAction* findComplaintEmailsAction_ = nullptr;
    QAction* findHarderAction_ = nullptr;
    QAction* addToBlacklistAction_ = nullptr;
    QAction* addToBlocklistAction_ = nullptr;
    QAction* editBlacklistAction_ = nullptr;
    QAction* applyBlacklistAction_ = nullptr;
    QAction* fixEmailsAction_ = nullptr;
    QAction* howToUseAction_ = nullptr;
    QAction* onTheWebAction_ = nullptr;
    QAction* aboutAction_ = nullptr;
    QAction* contextHelpAction_ = nullptr;

    QToolBar* toolBar_ = nullptr;
    QComboBox* recipientsEdit_ = nullptr;
    QLineEdit* subjectEdit_ = nullptr;
    QLineEdit* ccEdit_ = nullptr;
    QLineEdit* bccEdit_ = nullptr;
    QLineEdit* attachmentEdit_ = nullptr;
    QToolButton* browseButton_ = nullptr;
    QListWidget* templateList_ = nullptr;
    MessageEdit* messageEdit_ = nullptr;
    QPlainTextEdit* infoEdit_ = nullptr;
    QLabel* statusText_ = nullptr;
    HelpWindow* help_ = nullptr;
};

} // namespace morvanta
