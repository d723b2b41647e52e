// The end of a desktop session, a logout or Ctrl+C in the terminal ends the wizard at once,
// without the question its Cancel asks.
#include "WizardTest.h"

#include "support/ChildProcess.h"

#include <signal.h>
#include <sys/wait.h>

namespace {

TEST_F(WizardTest, EachSignalEndsTheWizardWithoutAQuestion) {
    WriteSignals();
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    for (int signo : {SIGINT, SIGTERM, SIGHUP}) {
        ChildProcess vrf307((wizardtest::ArtefactDir() / "vrf307").string(), {}, dir_.string());
        ASSERT_TRUE(vrf307.WaitCatching({SIGINT, SIGTERM, SIGHUP}, 30000)) << signo;
        ASSERT_TRUE(vrf307.Signal(signo));
        const std::optional<int> status = vrf307.WaitExit(30000);
        ASSERT_TRUE(status.has_value()) << signo;
        EXPECT_TRUE(WIFEXITED(*status)) << signo;
        EXPECT_EQ(WEXITSTATUS(*status), 0) << signo;
    }
}

} // namespace
