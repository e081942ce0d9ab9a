#pragma once

#include "mailer/MailerController.h"

#include <QMainWindow>

namespace morvanta {

// The mailer window, the program's main window.
class MailerWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MailerWindow(MailerController& controller, QWidget* parent = nullptr);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    MailerController& controller_;
};

} // namespace morvanta
