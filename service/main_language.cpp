// The language modules: finding them beside the program, choosing one, and applying its texts to
// the main form; the first activation starts the work with the recorder.
#include "service/main_language.h"

#include "service/Diagnostika.h"
#include "service/main.h"

#include "platform/Cp1251.h"
#include "platform/Exception.h"
#include "platform/IniFile.h"
#include "platform/MessageBox.h"
#include "platform/qt/Application.h"
#include "platform/qt/QtText.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

bool FirstActivationDone = false;

using plat::Q;

namespace {

namespace fs = std::filesystem;

std::string programFolderOverride;

std::string WithSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

std::string ExecutableFolder() {
    std::error_code error;
    const fs::path exe = fs::read_symlink("/proc/self/exe", error);
    if (error) return WithSlash(fs::current_path(error).string());
    return WithSlash(exe.parent_path().string());
}

bool HasModuleExtension(const std::string& name) {
    static const std::string ext = ".lng";
    if (name.size() <= ext.size()) return false;
    for (std::size_t i = 0; i < ext.size(); ++i) {
        const char c = name[name.size() - ext.size() + i];
        if ((c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c) != ext[i]) return false;
    }
    return true;
}

// A file that is there to be loaded; a folder of that name is not one.
bool FileExists(const std::string& path) {
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    return !error && fs::exists(status) && !fs::is_directory(status);
}

std::string ReadFileBytes(const std::string& path) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                         &std::fclose);
    if (!file) throw plat::Exception("Cannot open file \"" + path + "\". " + std::strerror(errno));
    std::string bytes;
    char chunk[8192];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0)
        bytes.append(chunk, got);
    if (std::ferror(file.get()))
        throw plat::Exception("Cannot read file \"" + path + "\". " + std::strerror(errno));
    return bytes;
}

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = text.size();
        lines.emplace_back(text.substr(start, end - start));
        if (end == text.size()) break;
        start = end + 1;
        if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
    }
    return lines;
}

// Greek prefixes of the rows that carry them; the code page of the modules has no Greek letters.
const char* const CapitalDelta = "\xCE\x94"; // U+0394
const char* const SmallDelta = "\xCE\xB4";   // U+03B4

} // namespace

std::string ProgramFolder() {
    return programFolderOverride.empty() ? ExecutableFolder() : programFolderOverride;
}

void SetProgramFolder(const std::string& folder) {
    programFolderOverride = folder.empty() ? std::string() : WithSlash(folder);
}

std::vector<std::string> FindLanguageModules(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        std::error_code typeError;
        if (name.empty() || name.front() == '.' || !HasModuleExtension(name) ||
            !it->is_regular_file(typeError))
            continue;
        names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> ReadModuleLines(const std::string& path) {
    const std::string bytes = ReadFileBytes(path);
    const std::string_view text(bytes.data(), std::min(bytes.find('\0'), bytes.size()));
    return SplitLines(plat::Cp1251ToUtf8(text));
}

std::string ModuleDisplayName(const std::string& path) {
    return plat::Cp1251ToUtf8(plat::TIniFile(path).ReadString("Language", "lng", ""));
}

// ---------------------------------------------------------------------------------------------

void TNdForm::FormActivate() {
    const std::string folder = ProgramFolder();
    LanguageFiles.clear();
    ComboBox5->clear();
    LanguageFiles = FindLanguageModules(folder);
    if (LanguageFiles.empty()) {
        plat::MessageBox("Не найдены языковые модули.\nДальнейшая работа невозможна.",
                         "Критическая ошибка", plat::MB_OK | plat::MB_ICONERROR);
        close();
        return;
    }
    int selected = -1;
    for (std::size_t i = 0; i < LanguageFiles.size(); ++i) {
        ComboBox5->addItem(Q(ModuleDisplayName(folder + LanguageFiles[i])));
        if (LanguageFiles[i] == LanguageFile) selected = static_cast<int>(i);
    }
    // An empty or unknown registry value, or one that differs only in letter case: the first.
    ComboBox5->setCurrentIndex(selected < 0 ? 0 : selected);
    try {
        ComboBox5Change();
    } catch (const std::exception& error) {
        // A module that cannot be read: shown as any unhandled error; the activation stops here.
        plat::TApplication::ShowException(error);
        return;
    }
    repaint();
    if (!FirstActivationDone) {
        Button5Click();
        Button3Click();
        FirstActivationDone = true;
        TimerTicks = 0;
    }
    BitBtn1->setEnabled(true);
}

void TNdForm::ComboBox5Change() {
    const int index = ComboBox5->currentIndex();
    if (index < 0 || index >= static_cast<int>(LanguageFiles.size())) return;
    LanguageFile = LanguageFiles[index];
    LoadLanguage(LanguageFile);
}

namespace {

void SetLabel(QLabel* label, const std::string& text) {
    label->setTextFormat(Qt::PlainText);
    label->setText(Q(text));
}

// The title wraps in the narrow panel; a number stays with the word before it, so that the
// model ("НД 3.07") is never broken over two lines.
void KeepModelNameWhole(QLabel* label) {
    QString text = label->text();
    for (qsizetype i = 1; i < text.size(); ++i)
        if (text[i - 1] == QLatin1Char(' ') && text[i].isDigit()) text[i - 1] = QChar(0x00A0);
    label->setText(text);
}

void BuildMeasurementRows(TNdForm& f);
void BuildParameterRows(TNdForm& f);
void FitParameterColumns(TNdForm& f);
void ApplyControlTexts(TNdForm& f);

} // namespace

void TNdForm::LoadLanguage(const std::string& fileName) {
    const std::string path = ProgramFolder() + fileName;
    if (!FileExists(path)) return;
    Texts.clear();
    Texts = ReadModuleLines(path);

    setWindowTitle(Q(Text(1000)));
    plat::TApplication::SetTitle(windowTitle().toStdString());
    for (int page = 0; page < 3; ++page)
        PageControl->setTabText(page, Q(Text(2000 + page)));
    for (int column = 0; column < 4; ++column)
        ListView->SetColumnCaption(column, Text(4000 + column));
    for (int column = 0; column < 3; ++column)
        ListViewPar->SetColumnCaption(column, Text(4004 + column));
    for (int column = 0; column < 2; ++column)
        ListViewLog->SetColumnCaption(column, Text(4007 + column));

    BuildMeasurementRows(*this);
    BuildParameterRows(*this);
    ApplyControlTexts(*this);
}

namespace {

// The 112 rows of the measurement list; the value column is filled in later by row number.
void BuildMeasurementRows(TNdForm& f) {
    const std::string value = f.Text(7000);
    const auto row = [&](const std::string& name, const std::string& unit,
                         const std::string& note) {
        f.ListView->AddItem(name, {value, unit, note});
    };
    const std::string volt = f.Text(3001);
    f.ListView->BeginUpdate();
    f.ListView->ClearItems();
    row(CapitalDelta + f.Text(5000), f.Text(3000), f.Text(8000));
    row(SmallDelta + f.Text(5003), "%", f.Text(8001));
    row(f.Text(5003), volt, f.Text(8018));
    row(f.Text(5012), "%", f.Text(8019));
    row(f.Text(5013), "%", f.Text(8020));
    row(f.Text(5014), volt, f.Text(8021));
    for (int n = 0; n <= 50; ++n)
        row(f.Text(5004) + "(" + std::to_string(n) + ")", volt,
            f.Text(8003) + std::to_string(n) + f.Text(8004));
    for (int n = 0; n <= 50; ++n)
        row(f.Text(5011) + "(" + std::to_string(n) + ")", volt,
            f.Text(8003) + std::to_string(n) + f.Text(8017));
    row(CapitalDelta + f.Text(5006), f.Text(3002), f.Text(8006));
    row(SmallDelta + f.Text(5007), "%", f.Text(8007));
    row(CapitalDelta + f.Text(5009), f.Text(3002), f.Text(8009));
    row(f.Text(5010), f.Text(3004), f.Text(8010));
    f.ListView->EndUpdate();
}

void BuildParameterRows(TNdForm& f) {
    static const int unitKeys[12] = {0, 0, 0, 3003, 3000, 3001, 3001, 3001, 3002, 0, 0, 0};
    const std::string value = f.Text(7000);
    f.ListViewPar->BeginUpdate();
    f.ListViewPar->ClearItems();
    for (int k = 0; k < 12; ++k)
        f.ListViewPar->AddItem(f.Text(6000 + k),
                               {value, unitKeys[k] != 0 ? f.Text(unitKeys[k]) : std::string()});
    f.ListViewPar->EndUpdate();
    FitParameterColumns(f);
}

// The value column is to show mode names, recording states, the recorder's clock and numbers
// later: it is made wide enough for all of them now, in the language just loaded.
void FitParameterColumns(TNdForm& f) {
    std::vector<std::string> values = {f.Text(7000), f.Text(7017), f.Text(7018),
                                       "00.00.0000", "00:00:00",   "65535"};
    for (int key = 7001; key <= 7011; ++key)
        values.push_back(f.Text(key));
    const auto& widths = TNdForm::ParameterColumnWidths;
    f.ListViewPar->FitColumn(1, widths[1], values);
    // The name and unit columns give the value column what it took beyond its width, down to
    // their own longest texts, so that the list keeps its width and needs no sideways scrolling.
    f.ListViewPar->FitColumn(2, 0);
    f.ListViewPar->FitColumn(0, 0);
    const int room = widths[0] + widths[1] + widths[2] - f.ListViewPar->columnWidth(1) -
                     f.ListViewPar->columnWidth(2);
    f.ListViewPar->setColumnWidth(0, std::max(f.ListViewPar->columnWidth(0), room));
}

void ApplyControlTexts(TNdForm& f) {
    SetLabel(f.Label1, f.Text(6000));
    SetLabel(f.Label2, f.Text(6002));
    SetLabel(f.Label3, f.Text(6012));
    for (QPushButton* button : {f.Button1, f.Button2, f.Button6, f.Button7})
        button->setText(Q(f.Text(9000)));
    f.BitBtn1->setText(Q(f.Text(9009)));
    f.BitBtn1->setToolTip(Q(f.Text(8022)));
    if (Form_dgn) Form_dgn->setWindowTitle(Q(f.Text(6013)));

    // The lists lose their selection until the next parameter reply sets it.
    f.ComboBox1->clear();
    for (int key = 7001; key <= 7011; ++key)
        f.ComboBox1->addItem(Q(f.Text(key)));
    f.ComboBox1->setCurrentIndex(-1);
    f.ComboBox2->clear();
    for (int key : {8015, 8016})
        f.ComboBox2->addItem(Q(f.Text(key)));
    f.ComboBox2->setCurrentIndex(-1);

    f.GroupBox1->setTitle(Q(" " + f.Text(9003) + " "));
    f.RadioButton1->setText(Q(f.Text(9004)));
    f.RadioButton2->setText(Q(f.Text(9005)));
    SetLabel(f.Label4, f.Text(6010));
    SetLabel(f.Label5, f.Text(6009));
    f.Button3->setText(Q(f.Text(9001)));
    f.CheckBox1->setText(Q(f.Text(9006)));
    SetLabel(f.Label7, f.Text(9007));
    SetLabel(f.Label8, f.Text(9008));
    f.Button5->setText(Q(f.Text(9000)));
    SetLabel(f.Label9, f.Text(1000));
    KeepModelNameWhole(f.Label9);
    SetLabel(f.Label10, f.Text(10000) + " " + ProgramVersion);
    SetLabel(f.Label11, f.Text(10001));
}

} // namespace
