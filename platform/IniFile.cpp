#include "platform/IniFile.h"
#include "platform/Formats.h"
#include "platform/AsciiCase.h"

#include <fstream>

namespace plat {

namespace {

// Language modules and signals.ini are a few kilobytes; anything far beyond is not one of them.
constexpr std::size_t kMaxFileSize = 16u << 20;
constexpr std::size_t kMaxValueLength = 2047;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

std::string_view Unquote(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return value;
}

std::string ReadContent(const std::string& fileName) {
    std::ifstream in(fileName, std::ios::binary);
    if (!in) return {};
    std::string content;
    char buf[8192];
    while (content.size() < kMaxFileSize && in.read(buf, sizeof buf).gcount() > 0) {
        content.append(buf, static_cast<std::size_t>(in.gcount()));
    }
    return content;
}

} // namespace

TIniFile::TIniFile(const std::string& fileName) {
    Parse(ReadContent(fileName));
}

void TIniFile::Parse(std::string_view content) {
    content = content.substr(0, content.find('\0'));
    if (content.substr(0, 3) == "\xEF\xBB\xBF") content.remove_prefix(3);
    while (!content.empty()) {
        const std::size_t end = content.find_first_of("\r\n");
        ParseLine(content.substr(0, end));
        if (end == std::string_view::npos) break;
        const bool crlf =
            content[end] == '\r' && end + 1 < content.size() && content[end + 1] == '\n';
        content.remove_prefix(end + (crlf ? 2 : 1));
    }
}

void TIniFile::ParseLine(std::string_view line) {
    line = Trim(line);
    if (line.empty() || line.front() == ';') return;
    if (line.front() == '[') {
        const std::size_t close = line.find(']');
        sections_.push_back(Section{std::string(Trim(line.substr(1, close - 1))), {}});
        return;
    }
    const std::size_t equals = line.find('=');
    if (sections_.empty() || equals == std::string_view::npos) return;
    const std::string_view key = Trim(line.substr(0, equals));
    if (key.empty()) return;
    const std::string_view value = Unquote(Trim(line.substr(equals + 1)));
    sections_.back().entries.push_back(
        Entry{std::string(key), std::string(value.substr(0, kMaxValueLength))});
}

const TIniFile::Section* TIniFile::FindSection(std::string_view name) const {
    for (const auto& section : sections_) {
        if (SameNoCase(section.name, name)) return &section;
    }
    return nullptr;
}

const TIniFile::Entry* TIniFile::FindEntry(std::string_view section, std::string_view ident) const {
    const Section* found = FindSection(section);
    if (!found) return nullptr;
    for (const auto& entry : found->entries) {
        if (SameNoCase(entry.key, ident)) return &entry;
    }
    return nullptr;
}

std::string TIniFile::ReadString(std::string_view section, std::string_view ident,
                                 std::string_view fallback) const {
    const Entry* entry = FindEntry(section, ident);
    return std::string(entry ? std::string_view(entry->value) : fallback);
}

double TIniFile::ReadFloat(std::string_view section, std::string_view ident,
                           double fallback) const {
    return StrToFloatDef(ReadString(section, ident, ""), fallback);
}

} // namespace plat
