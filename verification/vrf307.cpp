// The wizard's entry: the application object, the main form, its ten pages in their order (the
// order in which they register is the page order), the test form, and the event loop as the
// only main loop.
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
#include "verification/main.h"
#include "verification/test.h"

#include "platform/qt/TerminationSignals.h"

#include <exception>
#include <memory>
#include <string>
#include <vector>

namespace {

template <class Form> Form* Create(std::vector<std::unique_ptr<QWidget>>& forms, Form*& global) {
    auto form = std::make_unique<Form>(nullptr);
    global = form.get();
    forms.push_back(std::move(form));
    return global;
}

// What escapes start-up is shown as a sentence: a full stop follows a text that does not already
// end in a stop or another mark that sorts below it (a multi-byte letter's last byte sorts above).
std::string AsSentence(std::string text) {
    if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') text += '.';
    return text;
}

void ClearGlobals() {
    TestForm = nullptr;
    FinishFrame = nullptr;
    ToolsFrame = nullptr;
    UpDnFrame = nullptr;
    SignalFrame = nullptr;
    ConnectFrame = nullptr;
    IsolationFrame = nullptr;
    ImpedanceFrame = nullptr;
    MagnifyFrame = nullptr;
    ClimatFrame = nullptr;
    SelTypeFrame = nullptr;
}

} // namespace

int main(int argc, char** argv) {
    TWizardApplication app(argc, argv);
    const plat::TTerminationSignals endOnSignal;
    // The pages and the test form belong to the application: they go after the main form.
    std::vector<std::unique_ptr<QWidget>> forms;
    try {
        auto mainForm = std::make_unique<TMainForm>();
        Create(forms, SelTypeFrame);
        Create(forms, ClimatFrame);
        Create(forms, MagnifyFrame);
        Create(forms, ImpedanceFrame);
        Create(forms, IsolationFrame);
        Create(forms, ConnectFrame);
        Create(forms, SignalFrame);
        Create(forms, UpDnFrame);
        Create(forms, ToolsFrame);
        Create(forms, FinishFrame);
        Create(forms, TestForm);
        mainForm->show();
        QApplication::exec();
        mainForm.reset();
    } catch (const std::exception& error) {
        plat::TApplication::ShowException(AsSentence(error.what()));
    }
    ClearGlobals();
    while (!forms.empty())
        forms.pop_back();
    return 0;
}
