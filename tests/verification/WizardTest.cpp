#include "WizardTest.h"

#include "verification/frame_climat.h"
#include "verification/frame_connect.h"
#include "verification/frame_finish.h"
#include "verification/frame_impedance.h"
#include "verification/frame_isolation.h"
#include "verification/frame_magnify.h"
#include "verification/frame_select_type.h"
#include "verification/frame_signal.h"
#include "verification/frame_tools.h"
#include "verification/frame_up_dn.h"
#include "verification/progress.h"
#include "verification/signals.h"

#include "platform/Formats.h"

#include <QApplication>
#include <QComboBox>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QTableWidget>
#include <QWidget>

#include <cstdlib>
#include <fstream>
#include <tuple>
#include <unistd.h>

namespace {

[[maybe_unused]] const auto* const environment =
    ::testing::AddGlobalTestEnvironment(new guitest::GuiEnvironment);

// Six steady signals and eight events, plausible for a 220 V / 50 Hz recorder.
const char* const SampleSignals =
    "[signal1]\r\nu=220\r\nf=50\r\nk1=100\r\nmsg1=Nominal\r\n"
    "[signal2]\r\nu=242\r\nf=50.4\r\nk1=100\r\nk3=5\r\nk5=2\r\n"
    "[signal3]\r\nu=198\r\nf=49.6\r\nk1=100\r\nk7=3\r\n"
    "[signal4]\r\nu=220\r\nf=50\r\nk1=100\r\nk11=1.5\r\n"
    "[signal5]\r\nu=231\r\nf=50.2\r\nk1=100\r\nk2=2\r\n"
    "[signal6]\r\nu=209\r\nf=49.8\r\nk1=100\r\nk40=0.5\r\n"
    "[signal7]\r\nk=1.2\r\nt=100\r\n[signal8]\r\nk=1.3\r\nt=500\r\n"
    "[signal9]\r\nk=1.4\r\nt=1000\r\n[signal10]\r\nk=1.5\r\nt=200\r\n"
    "[signal11]\r\ndu=30\r\nt=100\r\n[signal12]\r\ndu=50\r\nt=500\r\n"
    "[signal13]\r\ndu=70\r\nt=1000\r\n[signal14]\r\ndu=90\r\nt=200\r\n";

} // namespace

bool wizardtest::RowChecked(const QTableWidget& list, int row) {
    const QTableWidgetItem* cell = list.item(row, 0);
    return cell && cell->checkState() == Qt::Checked;
}

void wizardtest::SelectRow(QTableWidget& list, int row) {
    const QModelIndex index = list.model()->index(row, 0);
    list.selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                      QItemSelectionModel::Rows);
}

void ResetSignals() {
    Signals.fill(SignalRecord{});
    EventSignals.fill(EventSignalRecord{});
    ScaleSignalLimits(1);
    LimitSwellFactor = BaseLimitSwellFactor;
    LimitDipDepth = BaseLimitDipDepth;
    LimitEventDuration = BaseLimitEventDuration;
}

WizardTest::WizardTest() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vrf307test.XXXXXX").string();
    if (::mkdtemp(pattern.data())) dir_ = pattern;
    std::filesystem::create_directories(PortsDir());
    previousDir_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_);
    ::setenv("LIVAT_REGISTRY_FILE", (dir_ / "registry.txt").c_str(), 1);
    ::setenv("LIVAT_PORTS_DIR", PortsDir().c_str(), 1);
    previousBoxHook_ = plat::SetMessageBoxHook(
        [this](const std::string& text, const std::string& caption, unsigned) {
            boxes_.push_back(caption + ": " + text);
            if (onBox_) onBox_(text);
            return answer_;
        });
    previousShellHook_ = plat::SetShellOpenHook([this](const std::string& target) {
        opened_.push_back(target);
        return true;
    });
    TMainForm::LinkTiming = SerialTiming{150, 5, 20, 5, 2000};
    TFormProgress::TickInterval = 2;
    plat::SetDecimalSeparator('.');
    ResetSignals();
}

WizardTest::~WizardTest() {
    Destroy();
    plat::SetMessageBoxHook(previousBoxHook_);
    plat::SetShellOpenHook(previousShellHook_);
    TMainForm::LinkTiming = SerialTiming{};
    TFormProgress::TickInterval = 1000;
    // Writing a protocol leaves its own separators in force.
    plat::SetDecimalSeparator('.');
    plat::SetDateSeparator('.');
    plat::SetTimeSeparator(':');
    ResetSignals();
    ::unsetenv("LIVAT_REGISTRY_FILE");
    ::unsetenv("LIVAT_PORTS_DIR");
    std::error_code ignored;
    std::filesystem::current_path(previousDir_, ignored);
    std::filesystem::remove_all(dir_, ignored);
}

void WizardTest::WriteSignals(const std::string& text) const {
    std::ofstream(dir_ / "signals.ini", std::ios::binary) << (text.empty() ? SampleSignals : text);
}

TMainForm& WizardTest::CreateForm() {
    Destroy();
    if (!std::filesystem::exists(dir_ / "signals.ini")) WriteSignals();
    if (recorder_) {
        // The recorder's own wait, as the longest: a slow machine may take that long.
        TMainForm::LinkTiming.ReplyWait = 3000;
        TMainForm::LinkTiming.ReplyComplete = recorder_->ReplyHook();
    }
    form_ = std::make_unique<TMainForm>();
    return *form_;
}

namespace {

// Every page the wizard builds, in its order, through the global it is known by.
template <class F> void ForEachPage(F&& f) {
    std::apply([&f](auto*&... page) { (f(page), ...); },
               std::tie(SelTypeFrame, ClimatFrame, MagnifyFrame, ImpedanceFrame, IsolationFrame,
                        ConnectFrame, SignalFrame, UpDnFrame, ToolsFrame, FinishFrame));
}

} // namespace

TMainForm& WizardTest::CreateWizard() {
    TMainForm& form = CreateForm();
    ForEachPage([this](auto*& global) {
        auto page = std::make_unique<std::remove_reference_t<decltype(*global)>>(nullptr);
        global = page.get();
        pages_.push_back(std::move(page));
    });
    return form;
}

void WizardTest::Destroy() {
    // Notifications of a destroyed form are dropped at delivery; they are let go here.
    form_.reset();
    ForEachPage([](auto*& global) { global = nullptr; });
    pages_.clear();
    wizardtest::Pump(5);
}

RecorderRun::RecorderRun() {
    recorder_ = &sim_;
    std::filesystem::create_symlink(pty_.SlavePath(), PortsDir() / "COM5");
    sim_.SetRegister(0x0400, 12345);
    sim_.SetRegister(0x0401, 24);
}

RecorderRun::~RecorderRun() {
    Destroy();
    sim_.Stop();
}

TMainForm& RecorderRun::AtConnectPage() {
    TMainForm& f = CreateWizard();
    f.FormActivate();
    f.FFrames[0]->setVisible(false);
    f.FCurrent = 5;
    ConnectFrame->ShowFrame();
    return f;
}

TMainForm& RecorderRun::Connected() {
    TMainForm& f = AtConnectPage();
    ConnectFrame->ComboBox1->setCurrentIndex(4);
    ConnectFrame->Button1->click();
    EXPECT_TRUE(wizardtest::PumpUntil([&] { return f.NextButton->isEnabled(); }, 5000));
    return f;
}

bool RecorderRun::WaitPortClosed(TMainForm& f, int ms) {
    return wizardtest::PumpUntil([&] { return !f.CommPort1->IsEnabled(); }, ms);
}

void RecorderRun::Replug(TMainForm& f) {
    const std::string link = (PortsDir() / "COM5").string();
    sim_.Stop();
    pty_.Unplug(link);
    EXPECT_TRUE(wizardtest::PumpUntil([&] { return f.CommPort1->Lost(); }, 3000));
    pty_.Replug(link);
    sim_.Serve(pty_.MasterFd());
}
