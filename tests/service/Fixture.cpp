#include "Fixture.h"

#include "service/main_language.h"

#include "platform/Cp1251.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>

#include <cstdlib>
#include <fstream>
#include <unistd.h>

namespace {

[[maybe_unused]] const auto* const environment =
    ::testing::AddGlobalTestEnvironment(new guitest::GuiEnvironment);

} // namespace

FormTest::FormTest() {
    std::string pattern = (std::filesystem::temp_directory_path() / "nd307test.XXXXXX").string();
    if (::mkdtemp(pattern.data())) dir_ = pattern;
    std::filesystem::create_directories(PortsDir());
    std::filesystem::create_directories(Modules());
    ::setenv("LIVAT_REGISTRY_FILE", (dir_ / "registry.txt").c_str(), 1);
    ::setenv("LIVAT_PORTS_DIR", PortsDir().c_str(), 1);
    previousBoxHook_ = plat::SetMessageBoxHook(
        [this](const std::string& text, const std::string& caption, unsigned) {
            boxes_.push_back(caption + ": " + text);
            return plat::IDOK;
        });
    TNdForm::LinkTiming = SerialTiming{250, 10, 20, 5, 2000};
    SetProgramFolder(Modules().string());
    FirstActivationDone = false;
}

FormTest::~FormTest() {
    Destroy();
    dialog_.reset();
    Form_dgn = nullptr;
    SetProgramFolder("");
    FirstActivationDone = false;
    plat::SetMessageBoxHook(previousBoxHook_);
    ::unsetenv("LIVAT_REGISTRY_FILE");
    ::unsetenv("LIVAT_PORTS_DIR");
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

TNdForm& FormTest::Create(const std::string& commandLine) {
    Destroy();
    if (recorder_) {
        // The recorder's own wait, as the longest: a slow machine may take that long.
        TNdForm::LinkTiming.ReplyWait = 3000;
        TNdForm::LinkTiming.ReplyComplete = recorder_->ReplyHook();
    }
    form_ = std::make_unique<TNdForm>(commandLine);
    NdForm = form_.get();
    for (int key : AllKeys())
        form_->Texts.push_back(std::to_string(key) + "=" +
                               (key == 9001   ? "Read"
                                : key == 9002 ? "Stop"
                                              : "T" + std::to_string(key)));
    form_->EnableControls(true);
    return *form_;
}

TForm_dgn& FormTest::Dialog() {
    if (!dialog_) dialog_ = std::make_unique<TForm_dgn>();
    Form_dgn = dialog_.get();
    return *dialog_;
}

FormTest::Lines FormTest::Log() const {
    Lines texts;
    for (int row = 0; row < form_->ListViewLog->Count(); ++row)
        texts.push_back(form_->ListViewLog->Cell(row, 1));
    return texts;
}

void FormTest::WriteRaw(const std::string& name, const std::string& bytes) const {
    std::ofstream(Modules() / name, std::ios::binary) << bytes;
}

void FormTest::WriteFullModule(const std::string& name, const std::string& lng,
                               const std::string& tag) const {
    std::string text = "[Language]\r\nlng=" + plat::Utf8ToCp1251(lng) + "\r\n[Texts]\r\n";
    for (int key : AllKeys())
        text += std::to_string(key) + "=" + tag + std::to_string(key) + "\r\n";
    WriteRaw(name, text);
}

void FormTest::Store(const std::function<void(plat::TRegistry&)>& write) {
    plat::TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("Software\\Livat\\ND307", true));
    write(reg);
}

std::vector<int> FormTest::AllKeys() {
    std::vector<int> keys = {1000};
    for (const auto& [first, last] : {std::pair{2000, 2002},
                                      {3000, 3004},
                                      {4000, 4008},
                                      {5000, 5014},
                                      {6000, 6013},
                                      {7000, 7018},
                                      {8000, 8022},
                                      {9000, 9009},
                                      {10000, 10001},
                                      {11001, 11025}})
        for (int key = first; key <= last; ++key)
            keys.push_back(key);
    return keys;
}

RecorderRun::RecorderRun() {
    std::filesystem::create_symlink(pty_.SlavePath(), PortsDir() / "COM5");
    recorder_ = &sim_;
}

RecorderRun::~RecorderRun() {
    Destroy();
    sim_.Stop();
}

TNdForm& RecorderRun::Open(const std::string& commandLine) {
    TNdForm& f = Create(commandLine);
    for (int row = 0; row < 112; ++row)
        f.ListView->AddItem("m" + std::to_string(row), {"T7000", "", ""});
    for (int row = 0; row < 12; ++row)
        f.ListViewPar->AddItem("p" + std::to_string(row), {"T7000", ""});
    for (int mode = 0; mode <= 10; ++mode)
        f.ComboBox1->addItem(QString("mode%1").arg(mode));
    f.ComboBox3->setCurrentIndex(4);
    f.Button5Click();
    return f;
}

bool RecorderRun::WaitIdle(int ms) {
    return guitest::PumpUntil(
        [this] { return form_->Button3->isEnabled() && form_->CheckBox1->isEnabled(); }, ms);
}
