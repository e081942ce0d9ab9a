#pragma once

#include <QPlainTextEdit>

namespace morvanta {

// The mailer's message box: a double click or Ctrl+A (with any other
// modifiers) selects the whole text, and a saved message dropped on it is
// announced instead of being inserted as a link.
class MessageEdit : public QPlainTextEdit {
    Q_OBJECT

public:
    explicit MessageEdit(QWidget* parent = nullptr);

signals:
    // Local files dropped on the box, in the order given by the drop.
    void filesDropped(const QStringList& paths);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
};

} // namespace morvanta
