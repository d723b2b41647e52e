#include "platform/qt/DisplayStart.h"

#include <QMessageLogContext>
#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace plat {

namespace {

// Set before the application object exists, read by the message handler in the same thread.
std::string noDisplayLine;
QtMessageHandler previousHandler = nullptr;
std::vector<std::pair<QtMsgType, QString>> heldMessages;

std::string ProgramName(int argc, char** argv) {
    if (argc < 1 || !argv[0]) return "program";
    const char* slash = std::strrchr(argv[0], '/');
    return slash ? slash + 1 : argv[0];
}

std::string DisplayDescription() {
    const char* display = std::getenv("DISPLAY");
    if (display && *display) return "DISPLAY is \"" + std::string(display) + "\"";
    return "DISPLAY is not set";
}

void HoldMessage(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type != QtFatalMsg) {
        heldMessages.emplace_back(type, message);
        return;
    }
    std::fprintf(stderr, "%s\n", noDisplayLine.c_str());
    std::fflush(stderr);
    std::_Exit(1);
}

} // namespace

int& BeginDisplayStart(int& argc, char** argv) {
    noDisplayLine = ProgramName(argc, argv) + ": needs a graphical display and cannot open one (" +
                    DisplayDescription() + "); start it on a desktop";
    heldMessages.clear();
    previousHandler = qInstallMessageHandler(HoldMessage);
    return argc;
}

void EndDisplayStart() {
    qInstallMessageHandler(previousHandler);
    for (const auto& [type, message] : std::exchange(heldMessages, {}))
        qt_message_output(type, QMessageLogContext(), message);
}

} // namespace plat
