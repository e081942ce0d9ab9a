#include "app/gui/DesktopUrl.h"

#include "app/gui/QtText.h"
#include "base/UiServices.h"

#include <QDesktopServices>
#include <QUrl>

namespace morvanta {

bool OpenWithDesktop(const std::string& address)
{
    const QUrl url = QUrl::fromUserInput(ToQString(address));
    if (url.isValid() && QDesktopServices::openUrl(url))
        return true;
    Ui().ShowMessage("Launch Error", "Could not start your Internet browser", MessageButtons::Ok, MessageIcon::None);
    return false;
}

} // namespace morvanta
