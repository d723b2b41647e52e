// The registry of the current user, kept as a readable text file:
//   $LIVAT_REGISTRY_FILE, else $XDG_CONFIG_HOME/livat/registry.txt, else
//   ~/.config/livat/registry.txt.
// Layout (one key per section, values typed):
//   [Software\Livat\ND307]
//   "PortIndex"=dword:2
//   "Language"="Русский.lng"
// Key paths and value names compare without regard to ASCII letter case. Every read takes the
// file afresh and every change rewrites it whole through a temporary file and a rename, under a
// lock file, so two programs (or two objects) never see half a file or lose each other's values.
// A file that does not parse reads as empty; it is kept beside as "<file>.bad" when the next
// change replaces it.
#pragma once

#include "platform/Exception.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace plat {

class ERegistryException : public Exception {
public:
    using Exception::Exception;
    const char* ClassName() const noexcept override { return "ERegistryException"; }
};

using HKEY = std::uint32_t;
inline constexpr HKEY HKEY_CURRENT_USER = 0x80000001u;

class TRegistry {
public:
    // The file is located from the environment when the object is made.
    TRegistry();
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;
    ~TRegistry();

    // Only HKEY_CURRENT_USER is kept; under any other root no key opens or exists.
    void SetRootKey(HKEY root);

    // A path starting with '\' starts at the root, any other one at the open key (at the root
    // when none is open). canCreate creates the key, and so writes the file, when it is missing.
    // False when the key is missing and may not be created, cannot be written, or the path
    // holds control characters.
    bool OpenKey(std::string_view key, bool canCreate);
    bool KeyExists(std::string_view key) const;
    void CloseKey();

    // Throw ERegistryException "Failed to get data for '<name>'" when no key is open or the value
    // is missing, "Invalid data type for '<name>'" when it has the other type.
    int ReadInteger(std::string_view name) const;
    std::string ReadString(std::string_view name) const;
    // Throw ERegistryException "Failed to set data for '<name>'" when no key is open or the file
    // cannot be written; the file then keeps its previous content.
    void WriteInteger(std::string_view name, int value);
    void WriteString(std::string_view name, std::string_view value);

private:
    bool ResolvePath(std::string_view key, std::string& path) const;

    std::string file_;
    HKEY root_ = HKEY_CURRENT_USER;
    bool open_ = false;
    std::string current_;
};

// A list index stored by ReadInteger's rules; an index outside 0 .. count - 1 (a damaged or
// hand-edited file) throws ERegistryException "Invalid data for '<name>'", so that callers treat
// it as they treat a missing value.
int ReadListIndex(const TRegistry& registry, std::string_view name, int count);

} // namespace plat
