// A main form whose language modules lie in a scratch folder instead of beside the test program.
#pragma once

#include "FormFixture.h"

#include "service/Diagnostika.h"
#include "service/main_language.h"

#include "platform/Cp1251.h"

#include <fstream>
#include <memory>
#include <string>
#include <vector>

class LanguageTest : public FormTest {
protected:
    LanguageTest() {
        std::filesystem::create_directories(Modules());
        SetProgramFolder(Modules().string());
        FirstActivationDone = false;
    }
    ~LanguageTest() override {
        Destroy();
        dialog_.reset();
        Form_dgn = nullptr;
        SetProgramFolder("");
        FirstActivationDone = false;
    }

    std::filesystem::path Modules() const { return dir_.Path() / "modules"; }

    // Writes the bytes as they are.
    void WriteRaw(const std::string& name, const std::string& bytes) const {
        std::ofstream(Modules() / name, std::ios::binary) << bytes;
    }
    // Writes UTF-8 lines as a module: code page 1251, CR LF.
    void WriteModule(const std::string& name, const std::vector<std::string>& lines) const {
        std::string text;
        for (const std::string& line : lines)
            text += plat::Utf8ToCp1251(line) + "\r\n";
        WriteRaw(name, text);
    }
    // A module named lng whose keys give "<tag><key>" for every key the program reads.
    void WriteFullModule(const std::string& name, const std::string& lng,
                         const std::string& tag) const {
        std::vector<std::string> lines = {"[Language]", "lng=" + lng, "[Texts]"};
        for (int key : AllKeys())
            lines.push_back(std::to_string(key) + "=" + tag + std::to_string(key));
        WriteModule(name, lines);
    }

    static std::vector<int> AllKeys() {
        std::vector<int> keys = {1000};
        const std::pair<int, int> ranges[] = {
            {2000, 2002}, {3000, 3004}, {4000, 4008}, {5000, 5014},   {6000, 6013},
            {7000, 7018}, {8000, 8022}, {9000, 9009}, {10000, 10001}, {11001, 11025}};
        for (const auto& [first, last] : ranges)
            for (int key = first; key <= last; ++key)
                keys.push_back(key);
        return keys;
    }

    TForm_dgn& Dialog() {
        if (!dialog_) {
            dialog_ = std::make_unique<TForm_dgn>();
            Form_dgn = dialog_.get();
        }
        return *dialog_;
    }

    std::unique_ptr<TForm_dgn> dialog_;
};
