// The service program's tests: one application object for the test program, and a main form in
// a scratch environment (settings file, ports folder and language folder of its own, short link
// timings, message boxes recorded and answered with OK).
#pragma once

#include "service/Diagnostika.h"
#include "service/main.h"

#include "platform/MessageBox.h"
#include "platform/Settings.h"
#include "support/GuiPump.h"
#include "support/PtyPair.h"
#include "support/RecorderSim.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class FormTest : public ::testing::Test {
protected:
    using Lines = std::vector<std::string>;

    FormTest();
    ~FormTest() override;

    // A form with test texts (key k gives "T<k>", 9001 "Read", 9002 "Stop"), idle; normal mode
    // unless the command line says otherwise.
    TNdForm& Create(const std::string& commandLine = "/opt/livat/nd307");
    // Notifications of a destroyed form are dropped at delivery; they are let go here.
    void Destroy() {
        form_.reset();
        NdForm = nullptr;
        guitest::Pump(5);
    }
    TForm_dgn& Dialog();

    Lines Log() const;
    Lines Boxes() const { return boxes_; } // "caption: text"; boxes come in the GUI thread

    std::filesystem::path PortsDir() const { return dir_ / "ports"; }
    std::filesystem::path Modules() const { return dir_ / "modules"; }
    void WriteRaw(const std::string& name, const std::string& bytes) const;
    // Every key the program reads gives "<tag><key>".
    void WriteFullModule(const std::string& name, const std::string& lng,
                         const std::string& tag) const;
    static std::vector<int> AllKeys();
    // Writes values under the program's settings key.
    static void Store(const std::function<void(plat::TRegistry&)>& write);

    std::filesystem::path dir_;
    // The recorder stand-in the forms made from here talk to, if any: their reply waits end as
    // soon as its answers are held.
    RecorderSim* recorder_ = nullptr;
    std::unique_ptr<TNdForm> form_;
    std::unique_ptr<TForm_dgn> dialog_;

private:
    Lines boxes_;
    plat::MessageBoxHook previousBoxHook_;
};

// A form on COM5, a pseudo-terminal whose other end the recorder simulator serves once a test
// has set it up.
class RecorderRun : public FormTest {
protected:
    RecorderRun();
    ~RecorderRun() override;

    // The port opened, with list rows and mode names as a language module would build them.
    TNdForm& Open(const std::string& commandLine = "nd307");
    // Until the form is idle again after a request.
    bool WaitIdle(int ms = 8000);

    PtyPair pty_;
    RecorderSim sim_;
};
