// The end of a desktop session, a logout or Ctrl+C in the terminal: the program ends as when its
// window is closed, its settings saved and its port closed.
#include "Fixture.h"

#include "platform/qt/TerminationSignals.h"
#include "support/ChildProcess.h"
#include "support/PtyPair.h"

#include <QApplication>
#include <QComboBox>
#include <QTimer>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>

namespace {

class SessionEnd : public FormTest {
protected:
    static constexpr int StartMs = 30000; // a sanitized build starts slowly on a busy machine

    static bool HungUp(int fd, int ms) {
        pollfd p{fd, POLLIN, 0};
        return ::poll(&p, 1, ms) == 1 && (p.revents & POLLHUP) != 0;
    }
};

// The settings file holds the port chosen before and the language the program writes beside it
// only when it saves.
TEST_F(SessionEnd, EachSignalEndsTheProgramWithItsSettingsSaved) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    for (int signo : {SIGINT, SIGTERM, SIGHUP}) {
        std::filesystem::remove(dir_ / "registry.txt");
        Store([](plat::TRegistry& r) { r.WriteInteger("PortIndex", 39); });
        ChildProcess nd307((guitest::ArtefactDir() / "nd307").string(), {});
        ASSERT_TRUE(nd307.WaitCatching({SIGINT, SIGTERM, SIGHUP}, StartMs)) << signo;
        ASSERT_TRUE(nd307.Signal(signo));
        const std::optional<int> status = nd307.WaitExit(StartMs);
        ASSERT_TRUE(status.has_value()) << signo;
        EXPECT_TRUE(WIFEXITED(*status)) << signo;
        EXPECT_EQ(WEXITSTATUS(*status), 0) << signo;

        plat::TRegistry saved;
        ASSERT_TRUE(saved.OpenKey("Software\\Livat\\ND307", false));
        EXPECT_EQ(saved.ReadInteger("PortIndex"), 39) << signo;
        EXPECT_EQ(saved.ReadInteger("BaudIndex"), 1) << signo;
        EXPECT_NO_THROW(saved.ReadString("Language")) << signo;
    }
}

// Without a display each program says so in one line and ends with an error code, not with the
// toolkit's abort and its advice to reinstall.
TEST_F(SessionEnd, WithoutADisplayEachProgramSaysSoInOneLine) {
    const std::string platform =
        std::getenv("QT_QPA_PLATFORM") ? std::getenv("QT_QPA_PLATFORM") : "";
    const char* display = std::getenv("DISPLAY");
    const std::string previousDisplay = display ? display : "";
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        ::unsetenv(name);
    const auto folder = guitest::ArtefactDir();
    for (const auto& program :
         {folder / "nd307", folder.parent_path() / "verification" / "vrf307"}) {
        const auto errors = dir_ / "stderr.txt";
        ChildProcess child(program.string(), {}, {}, errors.string());
        const std::optional<int> status = child.WaitExit(StartMs);
        ASSERT_TRUE(status.has_value()) << program;
        EXPECT_TRUE(WIFEXITED(*status)) << program;
        EXPECT_EQ(WEXITSTATUS(*status), 1) << program;
        std::ifstream text(errors);
        const std::string said((std::istreambuf_iterator<char>(text)), {});
        EXPECT_EQ(said, program.filename().string() +
                            ": needs a graphical display and cannot open one (DISPLAY is not "
                            "set); start it on a desktop\n");
    }
    if (!platform.empty()) ::setenv("QT_QPA_PLATFORM", platform.c_str(), 1);
    if (display) ::setenv("DISPLAY", previousDisplay.c_str(), 1);
}

// Inside the program: the signal ends the main loop, a modal one included, and the form's end
// that follows closes the port.
TEST_F(SessionEnd, SignalEndsEveryLoopThenTheFormClosesItsPort) {
    PtyPair pty(false);
    std::filesystem::create_symlink(pty.SlavePath(), PortsDir() / "COM5");
    TNdForm& f = Create();
    f.ComboBox3->setCurrentIndex(4);
    f.Button5Click();
    ASSERT_FALSE(HungUp(pty.MasterFd(), 100));

    const plat::TTerminationSignals endOnSignal;
    QTimer::singleShot(0, [] {
        QEventLoop modal;
        QTimer::singleShot(0, [] { ::raise(SIGTERM); });
        modal.exec();
    });
    QTimer::singleShot(10000, [] { QCoreApplication::exit(1); });
    EXPECT_EQ(QApplication::exec(), 0);

    Destroy();
    EXPECT_TRUE(HungUp(pty.MasterFd(), 2000));
    plat::TRegistry saved;
    ASSERT_TRUE(saved.OpenKey("Software\\Livat\\ND307", false));
    EXPECT_EQ(saved.ReadInteger("PortIndex"), 4);
}

} // namespace
