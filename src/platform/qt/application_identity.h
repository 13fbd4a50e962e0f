#pragma once

namespace lcdprog::platform {

// The names the desktop knows the programmer by: the application and organisation name (where
// the recent projects are kept), the desktop entry and the icon. No application display name:
// Qt's window system plugins append it to every window title ("ERROR RS232 — Programmatore LCD
// grafici"), and each window and message box must show exactly its own title.
void Set_Application_Identity();

}  // namespace lcdprog::platform
