#include "mailer/gui/InvestigationHookup.h"

#include "investigate/gui/InvestigationWindow.h"
#include "mailer/MailerController.h"
#include "mailer/MailerView.h"
#include "mailer/ReportSession.h"

#include <QPointer>

#include <memory>

namespace morvanta {

namespace {

// What the session's reference owns: the window, and through it the
// controller and the contact search. Letting go of it disposes the window.
struct WindowHolder {
    QPointer<InvestigationWindow> window;

    ~WindowHolder()
    {
        if (window)
            window->Dispose();
    }
};

struct Installation {
    MailerController& mailer;
    RecipientsBox recipients;
    std::weak_ptr<WindowHolder> current;
};

std::shared_ptr<ContactSearch> CreateInvestigationWindow(Installation& installation, ReportSession& session)
{
    auto search = std::make_shared<ContactSearch>(session.Settings(), session.Context());
    auto controller = std::make_shared<InvestigationController>(session.Settings(), search);
    controller->ConnectRecipients(installation.recipients);
    auto holder = std::make_shared<WindowHolder>();
    holder->window = new InvestigationWindow(controller);

    std::weak_ptr<WindowHolder> held = holder;
    QPointer<InvestigationWindow> window = holder->window;
    controller->onClosed = [held, window, &session] {
        if (!held.expired())
            session.SearchReference().Close();
        else if (window)
            window->Dispose();
    };
    installation.current = holder;
    // The reference holds the window; the pointer is the search within it.
    return std::shared_ptr<ContactSearch>(holder, search.get());
}

} // namespace

void InstallInvestigationWindow(MailerController& mailer, RecipientsBox recipients)
{
    auto installation = std::make_shared<Installation>(Installation { mailer, std::move(recipients), {} });
    ReportSession& session = mailer.Session();
    session.SetSearchFactory([installation, &session] { return CreateInvestigationWindow(*installation, session); });
    mailer.showInvestigation = [installation](const std::string& address) {
        (void)installation->mailer.Session().Search();
        std::shared_ptr<WindowHolder> holder = installation->current.lock();
        if (!holder || !holder->window)
            return;
        InvestigationWindow& window = *holder->window;
        window.SetUrl(address);
        window.show();
        window.raise();
        window.activateWindow();
    };
}

RecipientsBox RecipientsOf(MailerView& view)
{
    return { [&view] { return view.Recipients(); }, [&view](const std::string& text) { view.SetRecipients(text); } };
}

} // namespace morvanta
