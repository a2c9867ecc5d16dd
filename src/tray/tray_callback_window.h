// The hidden window that all tray icons of the process share for the shell's callback messages,
// and the table that leads an icon identifier back to its icon. Inside the tray component only.
#pragma once

#include <windows.h>

namespace tray {

class TrayIcon;

// Counts the icon as a user of the callback window (creating the window for the first) and
// returns the identifier it goes by in the shell's records.
UINT acquireTrayHandler(TrayIcon* icon);
// Forgets the identifier; the last user takes the window away.
void releaseTrayHandler(UINT id);
// The icon that goes by the identifier; null once it has gone, so a caller can tell whether an
// event handler destroyed the icon it runs for.
TrayIcon* trayIconById(UINT id);
// Whether msg is the shell's announcement that the taskbar has been created again.
bool isTaskbarCreated(UINT msg);

}  // namespace tray
