// Reader of Windows profile (ini) files: the language modules and signals.ini.
//
// The file is read once, when the object is made; a missing or unreadable file reads as empty.
// Texts come back as the file's raw bytes: the files are code page 1251, so callers that show a
// text pass it through Cp1251ToUtf8 (platform/Cp1251.h); section and key names are matched
// without regard to ASCII letter case.
//
// Rules, as the system's profile reader has them: a section starts with a line "[name]"; a value
// is a line "key=value" within a section; blanks around names and values are dropped, and so is
// one pair of matching quotes (' or ") around a value; a value is cut after 2047 characters; the
// first section of a name and within it the first line of a key win; lines end with CR LF, LF
// or CR; lines starting with ';' are comments; a zero byte ends the text; a UTF-8 byte-order
// mark at the start is passed over.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace plat {

class TIniFile {
public:
    explicit TIniFile(const std::string& fileName);

    std::string ReadString(std::string_view section, std::string_view ident,
                           std::string_view fallback) const;
    // Converted with the decimal separator in force (platform/Formats.h); missing, empty or
    // unconvertible text gives the fallback.
    double ReadFloat(std::string_view section, std::string_view ident, double fallback) const;

private:
    struct Entry {
        std::string key;
        std::string value;
    };
    struct Section {
        std::string name;
        std::vector<Entry> entries;
    };

    void Parse(std::string_view content);
    void ParseLine(std::string_view line);
    const Section* FindSection(std::string_view name) const;
    const Entry* FindEntry(std::string_view section, std::string_view ident) const;

    std::vector<Section> sections_;
};

} // namespace plat
