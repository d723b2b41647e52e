// The keyboard focus of a control disabled while it has it, as on the desktop the forms were
// designed for: it stays where the operator left it instead of passing to the next control of
// the tab chain, and comes back to the control when the control is enabled again. The buttons
// that start a request are disabled while it runs; the next key of an operator who waits for the
// answer must not act, unseen, on a list beside them (the language list, whose Down switches the
// program's language).
#pragma once

namespace plat {

// Installs the handling on the application object (once; later calls do nothing).
void InstallFocusParking();
void RemoveFocusParking();

} // namespace plat
