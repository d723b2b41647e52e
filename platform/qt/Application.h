// The application object of the Qt programs: the platform's hooks (waking the event loop for
// calls queued to the GUI thread, message boxes as dialogs) installed for its lifetime, and the
// default exception handler of the event loop.
#pragma once

#include <QApplication>
#include <QFont>
#include <QMessageBox>
#include <QLocale>

#include <exception>
#include <memory>
#include <string>

namespace plat {

// Forms open in the middle of the screen, as the programs' forms are designed to.
void CenterOnScreen(QWidget& form);

class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);
    ~TApplication() override;

    // An exception that escapes an event handler is shown and the loop goes on.
    bool notify(QObject* receiver, QEvent* event) override;

    // The application's title (the programs set it from their main form's caption). It is kept
    // apart from Qt's display name, which Qt would append to every other window's title.
    static void SetTitle(const std::string& title);

    // The standard display of an exception: its message in an error box titled with the
    // application's title, or its name while it has none.
    static void ShowException(const std::exception& error);
    static void ShowException(const std::string& message);
};

// Installs the hooks (with the substitutes of the Windows font names, Enter pressing the focused
// button and the focus of a disabled control kept for it) without an application subclass (tests
// use a plain QApplication).
// InstallQtHooks must run in the GUI thread after the QApplication exists; RemoveQtHooks before
// it is destroyed.
void InstallQtHooks();
void RemoveQtHooks();

// The standard buttons of message boxes ("Yes", "No", "Close") in the given language; false when
// Qt has no translation for it, and the buttons keep the language they had. The application
// object must exist.
bool LoadStandardButtonTexts(const QLocale& language);

// The message box hook of the Qt programs: a modal QMessageBox with the icon and the buttons
// the flags ask for.
int QtMessageBox(const std::string& text, const std::string& caption, unsigned flags);
// The box QtMessageBox shows, not yet shown: wide enough for its whole caption.
std::unique_ptr<QMessageBox> NewMessageBox(const std::string& text, const std::string& caption,
                                           unsigned flags);
// The font window managers commonly draw captions in, and the room their title bar takes besides
// the caption (window icon and the buttons at its ends).
QFont TitleBarFont();
constexpr int TitleBarButtonsWidth = 100;

} // namespace plat
