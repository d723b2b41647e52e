// A main form built in a scratch environment: its settings in a temporary registry file, its
// ports in a temporary ports folder, short link timings and recorded message boxes.
#pragma once

#include "GuiTest.h"

#include "service/main.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

class FormTest : public ::testing::Test {
protected:
    FormTest()
        : registry_("LIVAT_REGISTRY_FILE", (dir_.Path() / "registry.txt").string()),
          ports_("LIVAT_PORTS_DIR", (dir_.Path() / "ports").string()) {
        std::filesystem::create_directories(dir_.Path() / "ports");
        TNdForm::LinkTiming = FastTiming();
    }
    ~FormTest() override { Destroy(); }

    static SerialTiming FastTiming() {
        SerialTiming t;
        t.ReplyWait = 250;
        t.ReplyStep = 10;
        t.ResendPause = 20;
        t.StopPause = 5;
        t.StopLockWait = 2000;
        return t;
    }

    // Normal mode unless the command line says otherwise; the test texts are loaded.
    TNdForm& Create(const std::string& commandLine = "/opt/livat/nd307") {
        Destroy();
        form_ = std::make_unique<TNdForm>(commandLine);
        NdForm = form_.get();
        form_->Texts = guitest::TestTexts();
        form_->EnableControls(true);
        return *form_;
    }

    void Destroy() {
        form_.reset();
        NdForm = nullptr;
        // Notifications of a destroyed form are dropped at delivery; let them go.
        guitest::Pump(5);
    }

    std::string RegistryFile() const { return (dir_.Path() / "registry.txt").string(); }
    std::filesystem::path PortsDir() const { return dir_.Path() / "ports"; }

    // The texts of the log rows, in order.
    std::vector<std::string> LogTexts() const {
        std::vector<std::string> texts;
        for (int row = 0; row < form_->ListViewLog->Count(); ++row)
            texts.push_back(form_->ListViewLog->Cell(row, 1));
        return texts;
    }

    guitest::TempDir dir_;
    guitest::ScopedEnv registry_;
    guitest::ScopedEnv ports_;
    guitest::BoxRecorder boxes_;
    std::unique_ptr<TNdForm> form_;
};
