#pragma once

#include "investigate/InvestigationController.h"
#include "investigate/InvestigationView.h"

#include <QMainWindow>

#include <map>
#include <memory>

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QTabWidget;

namespace morvanta {

// The investigation window ("Netvane"): the URL, server and arguments boxes
// above, the six command buttons at the left, a tab per result, and the
// status line. Every command is the controller's; the window only shows
// what the controller tells it.
class InvestigationWindow : public QMainWindow, public InvestigationView {
    Q_OBJECT

public:
    explicit InvestigationWindow(std::shared_ptr<InvestigationController> controller, QWidget* parent = nullptr);
    ~InvestigationWindow() override;

    [[nodiscard]] InvestigationController& Controller() { return *controller_; }

    // Hides the window and deletes it later; while one of its commands still
    // runs, that command is told to stop and the deletion waits for it.
    void Dispose();

    // InvestigationView
    [[nodiscard]] std::string Url() const override;
    void SetUrl(const std::string& text) override;
    [[nodiscard]] std::string Server() const override;
    void SetServer(const std::string& text) override;
    void SetServerList(const std::vector<std::string>& servers) override;
    [[nodiscard]] std::string Arguments() const override;
    void SetStatus(const std::string& text) override;
    [[nodiscard]] std::optional<std::string> ClipboardText() const override;
    void AddTab(const ResultTab& tab) override;
    void RemoveTab(int id) override;
    void ShowCurrentTab(int id) override;
    void SetTabText(int id, const std::string& text) override;
    void ClearTraceRows(int id) override;
    void AddTraceRow(int id, const TraceRow& row) override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildAddressBar();
    void BuildCommandBar();
    void BuildMenu();
    QAction* AddCommand(const char* objectName, const char* hint, const char* themeIcon, const char* iconFile,
                        void (InvestigationController::*command)());
    void Run(void (InvestigationController::*command)());
    [[nodiscard]] QWidget* TabWidget(int id) const;

    std::shared_ptr<InvestigationController> controller_;
    QLineEdit* urlEdit_ = nullptr;
    QComboBox* serverBox_ = nullptr;
    QLineEdit* argumentsEdit_ = nullptr;
    QTabWidget* resultTabs_ = nullptr;
    QLabel* statusLabel_ = nullptr;
    std::map<int, QWidget*> tabWidgets_;
    // Set while the window follows the controller's tab changes, so that
    // the tab control's own reactions are not taken for the user's.
    bool followingController_ = false;
};

} // namespace morvanta
