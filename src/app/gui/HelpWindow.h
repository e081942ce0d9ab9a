#pragma once

#include <QString>
#include <QWidget>

class QTextBrowser;

namespace morvanta {

// The program's help: the HTML help file of the program folder in a window
// of its own, opened at a topic (an anchor of the file).
class HelpWindow : public QWidget {
    Q_OBJECT

public:
    // The help file is read when a topic is first shown.
    explicit HelpWindow(QString helpFile, QWidget* parent = nullptr);

    // Shows the window, raised, at the anchor. A missing help file is
    // reported in a message box and nothing is shown.
    void ShowTopic(const QString& anchor);

    [[nodiscard]] QTextBrowser* Browser() const { return browser_; }

private:
    QString helpFile_;
    QTextBrowser* browser_;
};

} // namespace morvanta
