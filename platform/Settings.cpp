#include "platform/Settings.h"
#include "platform/AsciiCase.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace plat {

namespace {

constexpr std::size_t kMaxFileSize = 1 << 20;

struct RegValue {
    std::string name;
    bool isInteger = false;
    int integer = 0;
    std::string text;
};

struct RegKey {
    std::string path;
    std::vector<RegValue> values;
};

struct Store {
    std::vector<RegKey> keys;
    bool damaged = false; // the file exists but did not parse or could not be read
};

// True when `path` is `key` itself or one of its subkeys.
bool IsSameOrBelow(std::string_view path, std::string_view key) {
    if (key.empty()) return true;
    if (path.size() < key.size() || !SameNoCase(path.substr(0, key.size()), key)) return false;
    return path.size() == key.size() || path[key.size()] == '\\';
}

// Joins the non-empty components with single backslashes; false for control characters, which
// could never be written back on one line.
bool NormalizePath(std::string_view raw, std::string& path) {
    path.clear();
    std::string component;
    for (std::size_t i = 0; i <= raw.size(); ++i) {
        if (i == raw.size() || raw[i] == '\\') {
            if (!component.empty()) path += (path.empty() ? "" : "\\") + component;
            component.clear();
            continue;
        }
        const auto c = static_cast<unsigned char>(raw[i]);
        if (c < 0x20 || c == 0x7F) return false;
        component += raw[i];
    }
    return true;
}

RegKey* FindKey(Store& store, std::string_view path) {
    for (auto& key : store.keys) {
        if (SameNoCase(key.path, path)) return &key;
    }
    return nullptr;
}

const RegValue* FindValue(const Store& store, std::string_view path, std::string_view name) {
    for (const auto& key : store.keys) {
        if (!SameNoCase(key.path, path)) continue;
        for (const auto& value : key.values) {
            if (SameNoCase(value.name, name)) return &value;
        }
    }
    return nullptr;
}

RegKey& EnsureKey(Store& store, std::string_view path) {
    if (RegKey* key = FindKey(store, path)) return *key;
    store.keys.push_back(RegKey{std::string(path), {}});
    return store.keys.back();
}

void PutValue(Store& store, std::string_view path, RegValue value) {
    RegKey& key = EnsureKey(store, path);
    for (auto& old : key.values) {
        if (SameNoCase(old.name, value.name)) {
            value.name = old.name; // the first spelling of a name is kept, as the registry does
            old = std::move(value);
            return;
        }
    }
    key.values.push_back(std::move(value));
}

// --- text form ---------------------------------------------------------------------------

std::string Quote(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out = "\"";
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (ch) {
        case '\\':
            out += "\\\\";
            break;
        case '"':
            out += "\\\"";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20 || c == 0x7F) {
                out += "\\x";
                out += kHex[c >> 4];
                out += kHex[c & 0x0F];
            } else {
                out += ch;
            }
        }
    }
    return out + "\"";
}

std::string Serialize(const Store& store) {
    std::string out = "; Livat settings of the current user. Values: \"name\"=dword:<decimal> or "
                      "\"name\"=\"text\".\n";
    for (const auto& key : store.keys) {
        out += "\n[" + key.path + "]\n";
        for (const auto& value : key.values) {
            out += Quote(value.name) + "=";
            out += value.isInteger ? "dword:" + std::to_string(value.integer) : Quote(value.text);
            out += "\n";
        }
    }
    return out;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool ParseEscape(std::string_view line, std::size_t& pos, std::string& out) {
    if (pos >= line.size()) return false;
    const char c = line[pos++];
    switch (c) {
    case '\\':
        out += '\\';
        return true;
    case '"':
        out += '"';
        return true;
    case 'n':
        out += '\n';
        return true;
    case 'r':
        out += '\r';
        return true;
    case 't':
        out += '\t';
        return true;
    case 'x': {
        if (pos + 2 > line.size()) return false;
        const int hi = HexDigit(line[pos]);
        const int lo = HexDigit(line[pos + 1]);
        if (hi < 0 || lo < 0) return false;
        out += static_cast<char>(hi * 16 + lo);
        pos += 2;
        return true;
    }
    default:
        return false;
    }
}

bool ParseQuoted(std::string_view line, std::size_t& pos, std::string& out) {
    if (pos >= line.size() || line[pos] != '"') return false;
    ++pos;
    while (pos < line.size()) {
        const char c = line[pos++];
        if (c == '"') return true;
        if (c != '\\') {
            out += c;
        } else if (!ParseEscape(line, pos, out)) {
            return false;
        }
    }
    return false;
}

bool ParseDword(std::string_view text, int& value) {
    if (text.empty() || text.size() > 11) return false;
    std::size_t pos = text[0] == '-' ? 1 : 0;
    if (pos == text.size()) return false;
    long long acc = 0;
    for (; pos < text.size(); ++pos) {
        if (text[pos] < '0' || text[pos] > '9') return false;
        acc = acc * 10 + (text[pos] - '0');
    }
    if (text[0] == '-') acc = -acc;
    if (acc < INT_MIN || acc > INT_MAX) return false;
    value = static_cast<int>(acc);
    return true;
}

bool ParseValueLine(std::string_view line, RegValue& value) {
    std::size_t pos = 0;
    if (!ParseQuoted(line, pos, value.name)) return false;
    if (pos >= line.size() || line[pos++] != '=') return false;
    const std::string_view rest = line.substr(pos);
    constexpr std::string_view kDword = "dword:";
    if (rest.substr(0, kDword.size()) == kDword) {
        value.isInteger = true;
        return ParseDword(rest.substr(kDword.size()), value.integer);
    }
    return ParseQuoted(line, pos, value.text) && pos == line.size();
}

std::string_view TrimLine(std::string_view line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) {
        line.remove_suffix(1);
    }
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
        line.remove_prefix(1);
    return line;
}

bool ParseLine(std::string_view line, Store& store, std::optional<std::string>& section) {
    line = TrimLine(line);
    if (line.empty() || line.front() == ';') return true;
    if (line.front() == '[') {
        std::string path;
        if (line.back() != ']' || !NormalizePath(line.substr(1, line.size() - 2), path)) {
            return false;
        }
        EnsureKey(store, path);
        section = path;
        return true;
    }
    RegValue value;
    if (!section || !ParseValueLine(line, value)) return false;
    PutValue(store, *section, std::move(value));
    return true;
}

bool Parse(std::string_view content, Store& store) {
    std::optional<std::string> section;
    while (!content.empty()) {
        const std::size_t end = content.find('\n');
        if (!ParseLine(content.substr(0, end), store, section)) return false;
        if (end == std::string_view::npos) break;
        content.remove_prefix(end + 1);
    }
    return true;
}

// --- file ----------------------------------------------------------------------------------

std::string ParentDir(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool MakeDirs(const std::string& dir) {
    struct stat st {};
    if (stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    if (dir != "/" && dir != "." && !MakeDirs(ParentDir(dir))) return false;
    return mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

Store Load(const std::string& file) {
    Store store;
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        store.damaged = errno != ENOENT;
        return store;
    }
    std::string content;
    char buf[4096];
    ssize_t got = 0;
    while ((got = read(fd, buf, sizeof buf)) != 0) {
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 || content.size() > kMaxFileSize) {
            store.damaged = true;
            break;
        }
        content.append(buf, static_cast<std::size_t>(got));
    }
    close(fd);
    if (!store.damaged && !Parse(content, store)) store.damaged = true;
    if (store.damaged) store.keys.clear();
    return store;
}

bool WriteAll(int fd, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

void SyncDir(const std::string& dir) {
    const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

// The new content becomes visible in one rename, after it is on disk; a crash at any moment
// leaves either the old file or the new one.
bool Save(const std::string& file, const Store& store) {
    std::string temp = file + ".XXXXXX";
    const int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return false;
    const bool written = WriteAll(fd, Serialize(store)) && fsync(fd) == 0;
    if (close(fd) != 0 || !written) {
        unlink(temp.c_str());
        return false;
    }
    if (store.damaged) {
        const std::string kept = file + ".bad";
        unlink(kept.c_str());
        link(file.c_str(), kept.c_str());
    }
    if (rename(temp.c_str(), file.c_str()) != 0) {
        unlink(temp.c_str());
        return false;
    }
    SyncDir(ParentDir(file));
    return true;
}

// Serialises read-modify-write cycles: the mutex between objects of this process, the lock
// file between processes.
class WriteLock {
public:
    explicit WriteLock(const std::string& file) : guard_(Mutex()) {
        if (!MakeDirs(ParentDir(file))) return;
        fd_ = open((file + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        while (fd_ >= 0 && flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    WriteLock(const WriteLock&) = delete;
    WriteLock& operator=(const WriteLock&) = delete;
    ~WriteLock() {
        if (fd_ >= 0) close(fd_); // closing releases the lock
    }
    bool Held() const { return fd_ >= 0; }

private:
    static std::mutex& Mutex() {
        static std::mutex mutex;
        return mutex;
    }
    std::lock_guard<std::mutex> guard_;
    int fd_ = -1;
};

template <typename Modify> bool Update(const std::string& file, Modify modify) {
    WriteLock lock(file);
    if (!lock.Held()) return false;
    Store store = Load(file);
    modify(store);
    return Save(file, store);
}

std::string HomeDir() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    struct passwd pw {};
    struct passwd* result = nullptr;
    std::vector<char> buf(16384);
    if (getpwuid_r(getuid(), &pw, buf.data(), buf.size(), &result) == 0 && result) {
        return result->pw_dir;
    }
    return ".";
}

// Where the registry of this process lives.
std::string RegistryFilePath() {
    if (const char* file = std::getenv("LIVAT_REGISTRY_FILE"); file && *file) return file;
    // A relative XDG_CONFIG_HOME is invalid and is ignored.
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const std::string base = config && *config == '/' ? config : HomeDir() + "/.config";
    return base + "/livat/registry.txt";
}

} // namespace

TRegistry::TRegistry() : file_(RegistryFilePath()) {}

TRegistry::~TRegistry() {
    CloseKey();
}

void TRegistry::SetRootKey(HKEY root) {
    CloseKey();
    root_ = root;
}

bool TRegistry::ResolvePath(std::string_view key, std::string& path) const {
    if (root_ != HKEY_CURRENT_USER || !NormalizePath(key, path)) return false;
    const bool relative = !key.empty() && key.front() != '\\';
    if (relative && open_ && !current_.empty())
        path = path.empty() ? current_ : current_ + "\\" + path;
    return true;
}

bool TRegistry::KeyExists(std::string_view key) const {
    std::string path;
    if (!ResolvePath(key, path)) return false;
    const Store store = Load(file_);
    if (path.empty()) return true;
    for (const auto& stored : store.keys) {
        if (IsSameOrBelow(stored.path, path)) return true;
    }
    return false;
}

bool TRegistry::OpenKey(std::string_view key, bool canCreate) {
    std::string path;
    if (!ResolvePath(key, path)) return false;
    if (!KeyExists("\\" + path)) {
        if (!canCreate) return false;
        if (!Update(file_, [&](Store& store) { EnsureKey(store, path); })) return false;
    }
    open_ = true;
    current_ = path;
    return true;
}

void TRegistry::CloseKey() {
    open_ = false;
    current_.clear();
}

int TRegistry::ReadInteger(std::string_view name) const {
    const Store store = Load(file_);
    const RegValue* value = open_ ? FindValue(store, current_, name) : nullptr;
    if (!value) throw ERegistryException("Failed to get data for '" + std::string(name) + "'");
    if (!value->isInteger) {
        throw ERegistryException("Invalid data type for '" + std::string(name) + "'");
    }
    return value->integer;
}

std::string TRegistry::ReadString(std::string_view name) const {
    const Store store = Load(file_);
    const RegValue* value = open_ ? FindValue(store, current_, name) : nullptr;
    if (!value) throw ERegistryException("Failed to get data for '" + std::string(name) + "'");
    if (value->isInteger) {
        throw ERegistryException("Invalid data type for '" + std::string(name) + "'");
    }
    return value->text;
}

void TRegistry::WriteInteger(std::string_view name, int value) {
    RegValue entry{std::string(name), true, value, {}};
    if (!open_ || !Update(file_, [&](Store& store) { PutValue(store, current_, entry); })) {
        throw ERegistryException("Failed to set data for '" + std::string(name) + "'");
    }
}

void TRegistry::WriteString(std::string_view name, std::string_view value) {
    RegValue entry{std::string(name), false, 0, std::string(value)};
    if (!open_ || !Update(file_, [&](Store& store) { PutValue(store, current_, entry); })) {
        throw ERegistryException("Failed to set data for '" + std::string(name) + "'");
    }
}

int ReadListIndex(const TRegistry& registry, std::string_view name, int count) {
    const int index = registry.ReadInteger(name);
    if (index < 0 || index >= count) {
        throw ERegistryException("Invalid data for '" + std::string(name) + "'");
    }
    return index;
}

} // namespace plat
