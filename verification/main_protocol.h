// The verification protocol as a document and as a file: the pieces TMainForm::BuildProtocolReport
// puts together, taking plain values so that they can be driven without the form.
#pragma once

#include "platform/DateTime.h"
#include "platform/Exception.h"
#include "verification/protocol_tables.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// The file of the protocol cannot be created, or not written to the end.
class EFCreateError : public plat::Exception {
public:
    using plat::Exception::Exception;
    const char* ClassName() const noexcept override { return "EFCreateError"; }
};

// What the pages and the configuration read collected; texts UTF-8 as the operator typed them,
// made safe for HTML where the document takes them.
struct ProtocolFields {
    bool periodic = false;
    std::uint16_t serialNumber = 0;
    std::uint16_t firmwareVersion = 0;
    std::array<std::string, 3> tools;
    std::int32_t temperature = 0;
    std::int32_t pressure = 0;
    std::int32_t humidity = 0;
    std::int32_t failureCode = 0;
};

// Date and time of writing as the title and the file name show them.
struct ProtocolStamp {
    std::string date;
    std::string time;
};

// Appends the result tables; returns whether every measured value is within its limit.
using ProtocolTablesWriter = std::function<bool(ProtocolLines&)>;

std::string ProtocolTitle(bool periodic);

// Hours and minutes of a long time text: everything before its last '-' (empty without one).
std::string CutProtocolTime(std::string_view longTime);

// Sets the date separator to '.' and the time separator to '-' for the rest of the process, so
// that the stamp can stand in a file name, and formats now with them.
ProtocolStamp MakeProtocolStamp(plat::TDateTime now);

// The whole document, one entry per line. The tables are written only when no failure code is
// set.
ProtocolLines BuildProtocolLines(const ProtocolFields& fields, const ProtocolStamp& stamp,
                                 const ProtocolTablesWriter& appendTables);

std::string ProtocolFileName(const std::string& title, const ProtocolStamp& stamp);

// The current directory; "." when it cannot be read.
std::string CurrentDirectoryText();

// Creates dir with all missing parents; true when it is a directory afterwards.
bool ForceDirectories(const std::string& dir);

// The file in "Protocols" under currentDir, created when missing; the bare name (the process's
// current directory) when that folder cannot be created.
std::string ProtocolPath(const std::string& currentDir, const std::string& fileName);

// Code page 1251, CR LF after every line, no byte-order mark. An existing file is never
// replaced: when path is taken, the first free of "<name> (2).html", "<name> (3).html" ... is
// written. Returns the path written. Throws EFCreateError, its text in Russian with the file and
// the reason, when the file cannot be created or written (a folder of the name among them).
std::string SaveProtocolLines(const ProtocolLines& lines, const std::string& path);

// Builds and saves the protocol; returns the path it was saved to (numbered when taken).
std::string WriteProtocolFile(const ProtocolFields& fields, plat::TDateTime now,
                              const std::string& currentDir,
                              const ProtocolTablesWriter& appendTables);
