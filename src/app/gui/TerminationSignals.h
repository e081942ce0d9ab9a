#pragma once

class QWidget;

namespace morvanta {

// A termination request (SIGTERM, SIGINT, SIGHUP: logout, kill) closes the
// window as the user would, so its shut-down runs and the settings are
// written. Call once, with the main window.
void CloseOnTerminationSignals(QWidget& window);

} // namespace morvanta
