// Enter and keypad Enter press the focused push button in every window of the programs, as on
// the desktop their forms were designed for; Qt by itself does so only inside dialogs, so the
// main forms' buttons, which the programs give the focus so that the operator can go on by
// keyboard, would answer to Space alone. A held Enter or Space presses once, in the window where
// it went down and in every window that press opens; it goes on typing only in the memo or field
// where it went down, and once its press has moved the focus its repeats do nothing at all.
#pragma once

namespace plat {

// Installs the handling on the application object (once; later calls do nothing).
void InstallButtonKeys();
void RemoveButtonKeys();

} // namespace plat
