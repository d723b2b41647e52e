// Shared by every test of the wizard: one application object for the whole test program (with
// the Qt hooks of the real program), an event pump, and a fixture that builds the main form with
// its ten pages in a scratch environment (current directory with a signals.ini, registry file,
// ports folder, short link timings, message boxes recorded and answered, files the shell would
// open recorded).
#pragma once

#include "verification/main.h"

#include "platform/MessageBox.h"
#include "platform/Shell.h"
#include "support/GuiPump.h"
#include "support/PtyPair.h"
#include "support/RecorderSim.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QTableWidget;
class QWidget;

namespace wizardtest {

using guitest::ArtefactDir;
using guitest::EnsureApplication;
using guitest::Pump;
using guitest::PumpUntil;

// Whether a row of a page's list carries its check mark.
bool RowChecked(const QTableWidget& list, int row);
// Selects one row alone, as a click on it does. Unlike QTableView::selectRow, whatever keyboard
// modifiers an earlier test's key events left in force do not turn it into a range or toggle.
void SelectRow(QTableWidget& list, int row);

} // namespace wizardtest

// Back to program start: both signal tables zero with empty descriptions, every limit at its base
// value.
void ResetSignals();

class WizardTest : public ::testing::Test {
protected:
    using Lines = std::vector<std::string>;

    WizardTest();
    ~WizardTest() override;

    // Writes signals.ini into the scratch current directory: the given text, or a small
    // plausible file when empty.
    void WriteSignals(const std::string& text = {}) const;
    // The main form alone (no pages) or with its ten pages in their order, as the program
    // builds them. The form is not shown.
    TMainForm& CreateForm();
    TMainForm& CreateWizard();
    void Destroy();

    // "caption: text" of every message box shown, in order.
    const Lines& Boxes() const { return boxes_; }
    void ClearBoxes() { boxes_.clear(); }
    // Answer given to the next boxes (default IDOK).
    int answer_ = plat::IDOK;
    // Runs before the box is answered (e.g. to look at the state while it is up).
    std::function<void(const std::string& text)> onBox_;
    // What was handed to the shell to open, in order.
    std::vector<std::string> opened_;

    std::filesystem::path dir_;
    // The recorder stand-in the forms made from here talk to, if any: their reply waits end as
    // soon as its answers are held.
    RecorderSim* recorder_ = nullptr;
    std::filesystem::path PortsDir() const { return dir_ / "ports"; }
    std::unique_ptr<TMainForm> form_;
    std::vector<std::unique_ptr<QWidget>> pages_;

private:
    Lines boxes_;
    plat::MessageBoxHook previousBoxHook_;
    plat::ShellOpenHook previousShellHook_;
    std::filesystem::path previousDir_;
};

// The wizard with COM5, a pseudo-terminal whose other end the recorder simulator serves once a
// test has set it up; the recorder has number 12345 and firmware 24.
class RecorderRun : public WizardTest {
protected:
    RecorderRun();
    ~RecorderRun() override;

    // The wizard on its connection page, as the operator reaches it.
    TMainForm& AtConnectPage();
    // Connects on COM5 and waits for the configuration read.
    TMainForm& Connected();
    // Until the port has been closed after a stored result.
    bool WaitPortClosed(TMainForm& f, int ms = 8000);
    // The adapter pulled, which the port notices, and put back: a new line under the same COM5,
    // served by the same recorder.
    void Replug(TMainForm& f);

    PtyPair pty_;
    RecorderSim sim_;
};
