// The service program's entry: the application object, the three forms in their order, the
// event loop as the only main loop.
#include "service/Diagnostika.h"
#include "service/Unit1.h"
#include "service/main.h"

#include "platform/qt/Application.h"
#include "platform/qt/TerminationSignals.h"

#include <exception>
#include <memory>

int main(int argc, char** argv) {
    plat::TApplication app(argc, argv);
    const plat::TTerminationSignals endOnSignal;
    try {
        // The first form created is the main form.
        auto mainForm = std::make_unique<TNdForm>(ProcessCommandLine());
        NdForm = mainForm.get();
        auto diagnostics = std::make_unique<TForm_dgn>();
        Form_dgn = diagnostics.get();
        auto bytes = std::make_unique<TForm1>();
        Form1 = bytes.get();
        NdForm->show();
        QApplication::exec();
        // Forms go in the reverse order of their creation.
        bytes.reset();
        Form1 = nullptr;
        diagnostics.reset();
        Form_dgn = nullptr;
        mainForm.reset();
    } catch (const std::exception& error) {
        plat::TApplication::ShowException(error);
    }
    return 0;
}
