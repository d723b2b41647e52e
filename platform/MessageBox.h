// Modal message boxes behind a replaceable hook: the GUI installs a real dialog, tests install a
// hook that records the texts and answers; without a hook the text goes to stderr and the answer
// is IDOK, so a tool without a GUI is never blocked.
#pragma once

#include <functional>
#include <string>

namespace plat {

constexpr unsigned MB_OK = 0x00;
constexpr unsigned MB_OKCANCEL = 0x01;
constexpr unsigned MB_YESNO = 0x04;
constexpr unsigned MB_ICONHAND = 0x10;
constexpr unsigned MB_ICONERROR = 0x10;
constexpr unsigned MB_ICONQUESTION = 0x20;
constexpr unsigned MB_ICONEXCLAMATION = 0x30;
constexpr unsigned MB_ICONWARNING = 0x30;
constexpr unsigned MB_ICONINFORMATION = 0x40;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// Texts and captions are UTF-8.
using MessageBoxHook =
    std::function<int(const std::string& text, const std::string& caption, unsigned flags)>;

// Returns the previous hook; an empty hook restores the stderr default.
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);

// Shows the box modally (in the GUI thread when called from another one) and returns the button.
int MessageBox(const std::string& text, const std::string& caption, unsigned flags);

} // namespace plat
