#include "platform/qt/Application.h"

#include "platform/qt/ButtonKeys.h"
#include "platform/qt/DisplayStart.h"
#include "platform/qt/FocusParking.h"

#include "platform/MainThread.h"
#include "platform/MessageBox.h"
#include "platform/Shell.h"

#include <QDesktopServices>
#include <QFont>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>
#include <QMetaObject>
#include <QUrl>

#include <memory>
#include <mutex>

namespace plat {

namespace {

// The wake hook may run in any thread at any time; the application it wakes is looked up under
// this lock, so a wake racing with the application's end finds no target instead of a dead one.
std::mutex wakeMutex;
QObject* wakeTarget = nullptr;

// Read and written in the GUI thread only.
std::string applicationTitle;

void WakeLoop() {
    std::lock_guard lock(wakeMutex);
    if (!wakeTarget) return;
    QMetaObject::invokeMethod(
        wakeTarget, [] { MainThread::ProcessPending(); }, Qt::QueuedConnection);
}

QMessageBox::Icon IconOf(unsigned flags) {
    switch (flags & 0xF0u) {
    case MB_ICONERROR:
        return QMessageBox::Critical;
    case MB_ICONQUESTION:
        return QMessageBox::Question;
    case MB_ICONWARNING:
        return QMessageBox::Warning;
    case MB_ICONINFORMATION:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

QMessageBox::StandardButtons ButtonsOf(unsigned flags) {
    switch (flags & 0x0Fu) {
    case MB_OKCANCEL:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case MB_YESNO:
        return QMessageBox::Yes | QMessageBox::No;
    default:
        return QMessageBox::Ok;
    }
}

int AnswerOf(int button) {
    switch (button) {
    case QMessageBox::Cancel:
        return IDCANCEL;
    case QMessageBox::Yes:
        return IDYES;
    case QMessageBox::No:
        return IDNO;
    default:
        return IDOK;
    }
}

// The forms name the Windows fonts they were designed with; take the nearest one installed.
void SubstituteWindowsFonts() {
    QFont::insertSubstitutions("MS Sans Serif", {"Microsoft Sans Serif", "Arial", "Liberation Sans",
                                                 "Arimo", "DejaVu Sans"});
    QFont::insertSubstitutions("Times New Roman",
                               {"Liberation Serif", "Tinos", "Times", "DejaVu Serif"});
}

bool OpenWithDesktop(const std::string& target) {
    QUrl url = QUrl::fromUserInput(QString::fromStdString(target));
    return url.isValid() && QDesktopServices::openUrl(url);
}

} // namespace

std::unique_ptr<QMessageBox> NewMessageBox(const std::string& text, const std::string& caption,
                                           unsigned flags) {
    auto box = std::make_unique<QMessageBox>(IconOf(flags), QString::fromStdString(caption),
                                             QString::fromStdString(text), ButtonsOf(flags),
                                             QApplication::activeWindow());
    // The first button is the default, as in the system's own boxes, and carries its mark from
    // the start whatever order the desktop lays the buttons out in.
    box->setDefaultButton((flags & 0x0Fu) == MB_YESNO ? QMessageBox::Yes : QMessageBox::Ok);
    // A box sized to a short text would leave the window manager too little room for its whole
    // caption: the box is made at least as wide as the caption with the title bar's buttons.
    const int captionWidth =
        QFontMetrics(TitleBarFont()).horizontalAdvance(box->windowTitle()) + TitleBarButtonsWidth;
    if (auto* grid = qobject_cast<QGridLayout*>(box->layout()))
        grid->addItem(new QSpacerItem(captionWidth, 0, QSizePolicy::Minimum, QSizePolicy::Minimum),
                      grid->rowCount(), 0, 1, grid->columnCount());
    return box;
}

QFont TitleBarFont() {
    QFont font = QApplication::font();
    font.setBold(true);
    return font;
}

int QtMessageBox(const std::string& text, const std::string& caption, unsigned flags) {
    return AnswerOf(NewMessageBox(text, caption, flags)->exec());
}

bool LoadStandardButtonTexts(const QLocale& language) {
    static std::unique_ptr<QTranslator> installed;
    auto texts = std::make_unique<QTranslator>();
    if (!texts->load(language, QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return false;
    if (installed) QCoreApplication::removeTranslator(installed.get());
    installed = std::move(texts);
    QCoreApplication::installTranslator(installed.get());
    return true;
}

void InstallQtHooks() {
    MainThread::Bind();
    {
        std::lock_guard lock(wakeMutex);
        wakeTarget = QCoreApplication::instance();
    }
    MainThread::SetWakeHook(WakeLoop);
    SetMessageBoxHook(QtMessageBox);
    SetShellOpenHook(OpenWithDesktop);
    SubstituteWindowsFonts();
    InstallButtonKeys();
    InstallFocusParking();
    // Calls queued before the loop existed.
    WakeLoop();
}

void RemoveQtHooks() {
    RemoveFocusParking();
    RemoveButtonKeys();
    SetShellOpenHook({});
    SetMessageBoxHook({});
    MainThread::SetWakeHook({});
    std::lock_guard lock(wakeMutex);
    wakeTarget = nullptr;
}

// By default the standard buttons speak the desktop's language, as the system's own boxes do;
// without a translation for it they stay in English.
TApplication::TApplication(int& argc, char** argv)
    : QApplication(BeginDisplayStart(argc, argv), argv) {
    EndDisplayStart();
    LoadStandardButtonTexts(QLocale());
    InstallQtHooks();
}

TApplication::~TApplication() {
    RemoveQtHooks();
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        ShowException(error);
    } catch (...) {
        ShowException(std::string("Unknown exception"));
    }
    return false;
}

void TApplication::ShowException(const std::exception& error) {
    ShowException(error.what());
}

void TApplication::SetTitle(const std::string& title) {
    applicationTitle = title;
}

void TApplication::ShowException(const std::string& message) {
    const std::string caption = applicationTitle.empty()
                                    ? QCoreApplication::applicationName().toStdString()
                                    : applicationTitle;
    MessageBox(message, caption, MB_OK | MB_ICONERROR);
}

void CenterOnScreen(QWidget& form) {
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        form.move(screen->availableGeometry().center() - form.rect().center());
}

} // namespace plat
