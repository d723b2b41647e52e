// Finding and reading the language modules that lie beside the program.
#pragma once

#include <string>
#include <vector>

// The folder the modules are searched in, with a trailing '/': the folder of the running program
// unless another one was set.
std::string ProgramFolder();
// Tests keep their modules elsewhere; an empty folder restores the program's own.
void SetProgramFolder(const std::string& folder);

// Names (without folder) of the ordinary files "*.lng" in folder, sorted by name. Directories,
// hidden entries (a leading '.') and anything that is not a regular file are passed over.
std::vector<std::string> FindLanguageModules(const std::string& folder);

// The lines of a module, converted from code page 1251: lines end with CR LF, LF or CR, and a
// zero byte ends the text. Throws plat::Exception when the file cannot be read.
std::vector<std::string> ReadModuleLines(const std::string& path);

// The module's display name: section "Language", key "lng"; empty when either is missing.
std::string ModuleDisplayName(const std::string& path);

// Set once the first activation with a module present has opened the port and started a read.
extern bool FirstActivationDone;
