#pragma once

#include "mailer/MailController.h"

#include <QMainWindow>

namespace morvanta {

// The mailer window, the program's main window.
class TfrmMail : public QMainWindow {
    Q_OBJECT

public:
    explicit TfrmMail(TMailController& controller, QWidget* parent = nullptr);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    TMailController& controller_;
};

} // namespace morvanta
