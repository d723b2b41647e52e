// The protocol written from the main form's fields when the operator presses "Готово".
#include "WizardTest.h"

#include "platform/Cp1251.h"
#include "platform/Formats.h"
#include "platform/Shell.h"
#include "verification/main_protocol.h"
#include "verification/signals.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return plat::Cp1251ToUtf8(
        std::string{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()});
}

class ProtocolReport : public WizardTest {
protected:
    ProtocolReport() {
        previousHook_ = plat::SetShellOpenHook([this](const std::string& target) {
            opened_.push_back(target);
            return true;
        });
    }
    ~ProtocolReport() override {
        plat::SetShellOpenHook(previousHook_);
        plat::SetDateSeparator('.');
        plat::SetTimeSeparator(':');
        ResetSignals();
    }
    std::vector<std::string> opened_;
    plat::ShellOpenHook previousHook_;
};

} // namespace

TEST_F(ProtocolReport, FieldsAndResultsOfTheFormOpenedFromProtocols) {
    TMainForm& form = CreateForm();
    form.FPeriodic = true;
    form.FSerialNumber = 40001;
    form.FFirmwareVersion = 7;
    ScaleSignalLimits(1);
    Signals[1].measured = true;
    Signals[1].errDeviationU = 0.5f; // equal to the periodic limit
    EventSignals[6].measured = true;
    EventSignals[6].errLevel = -1.25f; // beyond 1 %

    form.BuildProtocolReport();

    ASSERT_EQ(opened_.size(), 1u);
    const fs::path path = opened_[0];
    EXPECT_EQ(path.parent_path(), fs::current_path() / "Protocols");
    EXPECT_EQ(path.filename().string().rfind("Протокол поверки НД3.07 от ", 0), 0u);
    const std::string text = ReadText(path);
    EXPECT_NE(text.find("<TD>40001</TD>\r\n"), std::string::npos);
    EXPECT_NE(text.find("<TD>0.50</TD>\r\n<TD>&plusmn;0.50</TD>"), std::string::npos);
    EXPECT_NE(text.find("<TD><SPAN>-1.250</SPAN></TD>"), std::string::npos);
    EXPECT_NE(text.find("\r\n<SPAN>не соответствуют</SPAN>\r\n"), std::string::npos);
    EXPECT_EQ(plat::GetTimeSeparator(), '-');
}

TEST_F(ProtocolReport, FileThatCannotBeCreatedLeavesByExceptionOpeningNothing) {
    TMainForm& form = CreateForm();
    // a folder in the way of the file, for this minute and the next
    const plat::TDateTime now = plat::Now();
    for (plat::TDateTime when : {now, now + 1.0 / 1440}) {
        const ProtocolStamp stamp = MakeProtocolStamp(when);
        fs::create_directories(fs::current_path() / "Protocols" /
                               ProtocolFileName(ProtocolTitle(false), stamp));
    }
    EXPECT_THROW(form.BuildProtocolReport(), EFCreateError);
    EXPECT_TRUE(opened_.empty());
}
