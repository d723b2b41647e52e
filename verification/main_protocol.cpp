// The verification protocol: one HTML document in code page 1251 under "Protocols", opened with
// the user's HTML viewer when the operator presses "Готово".
#include "verification/main_protocol.h"

#include "platform/Cp1251.h"
#include "platform/Formats.h"
#include "platform/Shell.h"
#include "verification/main.h"

#include <cerrno>
#include <filesystem>
#include <string>
#include <string_view>

#include <fcntl.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

void AppendHead(ProtocolLines& lines, const std::string& title, const ProtocolStamp& stamp) {
    lines.insert(
        lines.end(),
        {"<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0 Transitional//EN\">",
         "<HTML><HEAD><TITLE>" + title + " НД3.07 от " + stamp.date + " " + stamp.time + "</TITLE>",
         "<META http-equiv=Content-Language content=ru>",
         "<META http-equiv=Content-Type content=\"text/html; charset=windows-1251\">",
         "<META content=\"MSHTML 6.00.2800.1106\" name=GENERATOR>", "<style type='text/css'>",
         "H1 {font-size: 16;text-align: center}",
         "H2, H3, H4, H2, H5 {font-size: 14;text-align: center}",
         "BODY, TABLE, TR, TD, TH {font-size: 12}", "SPAN {background-color: gold}", "</style>",
         "</HEAD>", "<BODY>"});
}

// What the operator typed, shown as typed: the characters HTML would take for markup become
// references, and a character the code page lacks a numeric reference instead of a '?'. Line
// breaks stay as they are.
std::string TypedText(std::string_view typed) {
    std::string out;
    out.reserve(typed.size());
    for (const char c : typed) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        default:
            out += c;
        }
    }
    return plat::Cp1251CharRefs(out);
}

void AppendHeaderRow(ProtocolLines& lines, const std::string& label, const std::string& value) {
    lines.insert(lines.end(),
                 {"<TR ALIGN=LEFT>", "<TD>" + label + "</TD>", "<TD>" + value + "</TD>", "</TR>"});
}

void AppendHeaderTable(ProtocolLines& lines, const ProtocolFields& f) {
    lines.push_back(TableStart);
    AppendHeaderRow(lines, "Вид поверки",
                    f.periodic ? "Периодическая поверка" : "Первичная поверка");
    AppendHeaderRow(lines, "Наименования",
                    "Регистратор показателей качества электрической энергии \"Ливат НД 3.07\"");
    AppendHeaderRow(lines, "Заводской №", plat::IntToStr(f.serialNumber));
    AppendHeaderRow(lines, "Версия прошивки", plat::IntToStr(f.firmwareVersion));
    AppendHeaderRow(lines, "Предприятие - изготовитель", "ООО \"Ливат\"");
    AppendHeaderRow(lines, "Средства поверки",
                    TypedText(f.tools[0]) + "<BR>" + TypedText(f.tools[1]) + "<BR>" +
                        TypedText(f.tools[2]) + "<BR>");
    lines.push_back("</TABLE>");
}

void AppendConditions(ProtocolLines& lines, const ProtocolFields& f) {
    lines.insert(lines.end(),
                 {"<P>", "Условия поверки: T - " + plat::IntToStr(f.temperature) + "&deg;C;",
                  "Атмосферное давление: - " + plat::IntToStr(f.pressure) + "кПа;",
                  "Влажность: - " + plat::IntToStr(f.humidity) + "%", "</P>"});
}

// Items 1 to 4 and, without a failure, the tables; returns the tables' verdict.
bool AppendResults(ProtocolLines& lines, const ProtocolFields& f,
                   const ProtocolTablesWriter& appendTables) {
    const std::string pass = PassText;
    lines.push_back("<H1>РЕЗУЛЬТАТЫ ПОВЕРКИ</H1>");
    lines.push_back("<BR>1. Внешний осмотр: " + pass);
    lines.push_back(std::string(f.periodic
                                    ? "<BR>2. Проверка сопротивления изоляции: "
                                    : "<BR>2. Проверка сопротивления и электрической прочности "
                                      "изоляции: ") +
                    (f.failureCode == 0 ? PassText : FailText));
    if (f.failureCode != 0) return true;
    lines.push_back("<BR>3. Опробование: " + pass);
    lines.push_back("<BR>4. Поверка нормируемых метрологических характеристик: <B>результаты "
                    "поверки приведены в таблицах 1-7</B>");
    return !appendTables || appendTables(lines);
}

void AppendConclusion(ProtocolLines& lines, const ProtocolFields& f, bool overallPass) {
    const bool complies = overallPass && f.failureCode == 0;
    lines.insert(lines.end(),
                 {"<BR><BR><P><B>",
                  "Заключение: Нормируемые метрологические характеристики регистратора показателей",
                  "качества электрической энергии \"Ливат\" НД3.07 зав.№" +
                      plat::IntToStr(f.serialNumber) + "&nbsp;",
                  complies ? "соответствуют" : "<SPAN>не соответствуют</SPAN>", " требованиям ТУ.",
                  "</B></P>", "<BR><BR><BR><P>Поверку произвел:______________________</P>",
                  "</BODY>", "</HTML>"});
}

} // namespace

std::string ProtocolTitle(bool periodic) {
    return periodic ? "Протокол поверки" : "Протокол первичной поверки";
}

std::string CutProtocolTime(std::string_view longTime) {
    const size_t last = longTime.rfind('-');
    return last == std::string_view::npos ? std::string() : std::string(longTime.substr(0, last));
}

ProtocolStamp MakeProtocolStamp(plat::TDateTime now) {
    plat::SetDateSeparator('.');
    plat::SetTimeSeparator('-');
    return {plat::DateToStr(now), CutProtocolTime(plat::TimeToStr(now))};
}

ProtocolLines BuildProtocolLines(const ProtocolFields& fields, const ProtocolStamp& stamp,
                                 const ProtocolTablesWriter& appendTables) {
    const std::string title = ProtocolTitle(fields.periodic);
    ProtocolLines lines;
    AppendHead(lines, title, stamp);
    lines.push_back("<H1>" + plat::AnsiUpperCase(title) + "</H1>");
    lines.push_back("<H2>№______________ от " + stamp.date + " года</H2>");
    AppendHeaderTable(lines, fields);
    AppendConditions(lines, fields);
    const bool overallPass = AppendResults(lines, fields, appendTables);
    AppendConclusion(lines, fields, overallPass);
    return lines;
}

std::string ProtocolFileName(const std::string& title, const ProtocolStamp& stamp) {
    return title + " НД3.07 от " + stamp.date + " " + stamp.time + ".html";
}

std::string CurrentDirectoryText() {
    std::error_code error;
    const fs::path dir = fs::current_path(error);
    return error || dir.empty() ? std::string(".") : dir.string();
}

bool ForceDirectories(const std::string& dir) {
    std::error_code error;
    fs::create_directories(dir, error);
    return fs::is_directory(dir, error);
}

std::string ProtocolPath(const std::string& currentDir, const std::string& fileName) {
    std::string folder = currentDir;
    if (folder.empty() || folder.back() != '/') folder += '/';
    folder += "Protocols/";
    return ForceDirectories(folder) ? folder + fileName : fileName;
}

// The wizard speaks Russian throughout, its file errors included.
static std::string FileErrorReason(int code) {
    switch (code) {
    case EACCES:
    case EPERM:
        return "нет прав на запись";
    case ENOENT:
        return "папка не найдена";
    case EISDIR:
        return "под этим именем уже есть папка";
    case EROFS:
        return "диск защищён от записи";
    case ENOSPC:
    case EDQUOT:
        return "на диске нет места";
    case ENAMETOOLONG:
        return "слишком длинное имя файла";
    case EIO:
        return "ошибка ввода-вывода";
    case 0:
        return "ошибка записи";
    default:
        return "системная ошибка " + std::to_string(code);
    }
}

[[noreturn]] static void ThrowProtocolError(const std::string& path, int code) {
    throw EFCreateError("Не удалось записать протокол в файл \"" + path +
                        "\": " + FileErrorReason(code) + ".");
}

// "<stem> (n)<extension>" beside path.
static std::string NumberedPath(const fs::path& path, int n) {
    const fs::path name =
        path.stem().string() + " (" + std::to_string(n) + ")" + path.extension().string();
    return (path.parent_path() / name).string();
}

// Creates path, or the first free of its numbered names, and never opens an existing file: two
// wizards writing in the same minute, or two short verifications, would otherwise replace each
// other's protocol. A folder that bears the name is no protocol to keep but an obstacle, told
// as EISDIR. -1 with errno when it fails.
static int CreateNewFile(std::string& path) {
    const fs::path first = path;
    for (int n = 2;; ++n) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
        std::error_code ignored;
        if (fs::is_directory(path, ignored)) {
            errno = EISDIR;
            return -1;
        }
        path = NumberedPath(first, n);
    }
}

static bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

static void WriteAndClose(int fd, std::string_view bytes, const std::string& path) {
    errno = 0;
    const bool complete = WriteAll(fd, bytes);
    const int writeError = errno;
    const bool closed = ::close(fd) == 0;
    if (!complete) ThrowProtocolError(path, writeError);
    if (!closed) ThrowProtocolError(path, errno);
}

std::string SaveProtocolLines(const ProtocolLines& lines, const std::string& path) {
    std::string bytes;
    for (const std::string& line : lines)
        bytes += plat::Utf8ToCp1251(line) + "\r\n";
    std::string written = path;
    errno = 0;
    const int fd = CreateNewFile(written);
    if (fd < 0) ThrowProtocolError(written, errno);
    WriteAndClose(fd, bytes, written);
    return written;
}

std::string WriteProtocolFile(const ProtocolFields& fields, plat::TDateTime now,
                              const std::string& currentDir,
                              const ProtocolTablesWriter& appendTables) {
    const ProtocolStamp stamp = MakeProtocolStamp(now);
    const ProtocolLines lines = BuildProtocolLines(fields, stamp, appendTables);
    return SaveProtocolLines(
        lines, ProtocolPath(currentDir, ProtocolFileName(ProtocolTitle(fields.periodic), stamp)));
}

void TMainForm::BuildProtocolReport() {
    const ProtocolFields fields{FPeriodic,    FSerialNumber, FFirmwareVersion, FTools,
                                FTemperature, FPressure,     FHumidity,        FFailureCode};
    const ProtocolLimits limits = CurrentProtocolLimits();
    const std::string path =
        WriteProtocolFile(fields, plat::Now(), CurrentDirectoryText(), [&](ProtocolLines& lines) {
            return AppendResultTables(lines, Signals, EventSignals, limits);
        });
    // Whether a viewer is found is not reported: the protocol is saved either way.
    plat::ShellExecuteOpen(path);
}
