#include "mailer/gui/MessageEdit.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QUrl>

namespace morvanta {

namespace {

QStringList LocalFiles(const QMimeData* data)
{
    QStringList paths;
    if (!data || !data->hasUrls())
        return paths;
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile())
            return {};
        paths.append(url.toLocalFile());
    }
    return paths;
}

bool IsSelectAll(const QKeyEvent* event)
{
    return event->key() == Qt::Key_A && (event->modifiers() & Qt::ControlModifier);
}

} // namespace

MessageEdit::MessageEdit(QWidget* parent)
    : QPlainTextEdit(parent)
{
}

bool MessageEdit::event(QEvent* event)
{
    // Ctrl+A with Shift or Alt held belongs to this box, not to a shortcut.
    if (event->type() == QEvent::ShortcutOverride && IsSelectAll(static_cast<QKeyEvent*>(event))) {
        event->accept();
        return true;
    }
    return QPlainTextEdit::event(event);
}

void MessageEdit::keyPressEvent(QKeyEvent* event)
{
    if (IsSelectAll(event)) {
        selectAll();
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void MessageEdit::mouseDoubleClickEvent(QMouseEvent* event)
{
    selectAll();
    event->accept();
}

void MessageEdit::dragEnterEvent(QDragEnterEvent* event)
{
    if (!LocalFiles(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
        return;
    }
    QPlainTextEdit::dragEnterEvent(event);
}

void MessageEdit::dragMoveEvent(QDragMoveEvent* event)
{
    if (!LocalFiles(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
        return;
    }
    QPlainTextEdit::dragMoveEvent(event);
}

void MessageEdit::dropEvent(QDropEvent* event)
{
    QStringList paths = LocalFiles(event->mimeData());
    if (!paths.isEmpty()) {
        event->acceptProposedAction();
        emit filesDropped(paths);
        return;
    }
    QPlainTextEdit::dropEvent(event);
}

} // namespace morvanta
