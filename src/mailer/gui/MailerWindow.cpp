#include "mailer/gui/MailerWindow.h"

#include "app/gui/CommandGuard.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QStatusBar>

namespace morvanta {

MailerWindow::MailerWindow(MailerController& controller, QWidget* parent)
    : QMainWindow(parent)
    , controller_(controller)
{
    setObjectName("mailerWindow");
    setWindowTitle("Morvanta Mailer");
    QFont font("Arial");
    font.setPixelSize(11);
    setFont(font);
    statusBar()->setObjectName("statusBar");
    resize(678, 435);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
}

void MailerWindow::closeEvent(QCloseEvent* event)
{
    RunGuarded([this] { controller_.Shutdown(); });
    event->accept();
}

} // namespace morvanta
