#include "app/gui/QtUiServices.h"

#include "app/gui/QtText.h"

#include <QApplication>
#include <QGuiApplication>
#include <QInputDialog>
#include <QMessageBox>

namespace morvanta {

namespace {

QMessageBox::StandardButtons ToQt(MessageButtons buttons)
{
    switch (buttons) {
    case MessageButtons::Ok: return QMessageBox::Ok;
    case MessageButtons::OkCancel: return QMessageBox::Ok | QMessageBox::Cancel;
    case MessageButtons::YesNo: return QMessageBox::Yes | QMessageBox::No;
    case MessageButtons::YesNoCancel: return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case MessageButtons::RetryCancel: return QMessageBox::Retry | QMessageBox::Cancel;
    case MessageButtons::AbortRetryIgnore: return QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore;
    }
    return QMessageBox::Ok;
}

QMessageBox::Icon ToQt(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::None: return QMessageBox::NoIcon;
    case MessageIcon::Information: return QMessageBox::Information;
    case MessageIcon::Warning: return QMessageBox::Warning;
    case MessageIcon::Error: return QMessageBox::Critical;
    case MessageIcon::Question: return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

MessageResult FromQt(int button)
{
    switch (button) {
    case QMessageBox::Cancel: return MessageResult::Cancel;
    case QMessageBox::Yes: return MessageResult::Yes;
    case QMessageBox::No: return MessageResult::No;
    case QMessageBox::Retry: return MessageResult::Retry;
    case QMessageBox::Abort: return MessageResult::Abort;
    case QMessageBox::Ignore: return MessageResult::Ignore;
    default: return MessageResult::Ok;
    }
}

} // namespace

MessageResult QtUiServices::ShowMessage(const std::string& text, const std::string& title, MessageButtons buttons,
                                        MessageIcon icon)
{
    QMessageBox box(ToQt(icon), ToQString(title), ToQString(text), ToQt(buttons));
    // Texts carry what servers and files said: never read them as markup.
    box.setTextFormat(Qt::PlainText);
    return FromQt(box.exec());
}

bool QtUiServices::AskText(const std::string& caption, const std::string& prompt, std::string& value)
{
    bool ok = false;
    QString answer = QInputDialog::getText(QApplication::activeWindow(), ToQString(caption), ToQString(prompt),
                                           QLineEdit::Normal, ToQString(value), &ok);
    if (ok)
        value = FromQString(answer);
    return ok;
}

void QtUiServices::ShowError(const std::string& message)
{
    QMessageBox box(QMessageBox::Critical, QApplication::applicationName(), ToQString(message), QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void QtUiServices::SetBusyCursor(bool busy)
{
    if (busy)
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QGuiApplication::restoreOverrideCursor();
}

void QtUiServices::ProcessPendingInput()
{
    QCoreApplication::processEvents();
}

} // namespace morvanta
