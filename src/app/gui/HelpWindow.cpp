#include "app/gui/HelpWindow.h"

#include "app/gui/QtText.h"
#include "base/UiServices.h"

#include <QAction>
#include <QFileInfo>
#include <QKeySequence>
#include <QTextBrowser>
#include <QTextDocument>
#include <QUrl>
#include <QVBoxLayout>

namespace morvanta {

HelpWindow::HelpWindow(QString helpFile, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , helpFile_(std::move(helpFile))
    , browser_(new QTextBrowser(this))
{
    setObjectName("helpWindow");
    setWindowTitle("Morvanta Help");
    browser_->setObjectName("helpBrowser");
    browser_->setOpenExternalLinks(true);
    browser_->document()->setDocumentMargin(fontMetrics().averageCharWidth() * 2);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(browser_);

    auto* closeAction = new QAction(this);
    closeAction->setShortcut(QKeySequence(Qt::Key_Escape));
    connect(closeAction, &QAction::triggered, this, &QWidget::close);
    addAction(closeAction);

    const int lineHeight = fontMetrics().lineSpacing();
    resize(lineHeight * 44, lineHeight * 36);
}

void HelpWindow::ShowTopic(const QString& anchor)
{
    if (!QFileInfo(helpFile_).isFile()) {
        Ui().ShowMessage(FromQString(helpFile_) + " does not exist.", "Morvanta", MessageButtons::Ok,
                         MessageIcon::Warning);
        return;
    }
    // Shown first, so the page is laid out at the window's width before it
    // scrolls to the anchor.
    show();
    raise();
    activateWindow();
    QUrl target = QUrl::fromLocalFile(helpFile_);
    target.setFragment(anchor);
    browser_->setSource(target);
    // Setting the page it already shows does not scroll again.
    browser_->scrollToAnchor(anchor);
}

} // namespace morvanta
