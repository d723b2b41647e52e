#include "TempDirTest.h"
#include "platform/Settings.h"

#include <optional>
#include <thread>

using namespace plat;
namespace fs = std::filesystem;

namespace {

class SettingsTest : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        file_ = dir_ / "livat" / "registry.txt"; // the folder does not exist yet
        setenv("LIVAT_REGISTRY_FILE", file_.c_str(), 1);
    }
    void TearDown() override {
        unsetenv("LIVAT_REGISTRY_FILE");
        TempDirTest::TearDown();
    }
    std::string FileText() const { return ReadText(file_); }

    fs::path file_;
};

template <typename Fn> std::string RegistryError(Fn fn) {
    try {
        fn();
    } catch (const Exception& e) {
        EXPECT_STREQ(e.ClassName(), "ERegistryException");
        return e.what();
    }
    ADD_FAILURE() << "no registry error";
    return {};
}

} // namespace

// Values written in one run, awkward strings and names included, are read back in the next.
TEST_F(SettingsTest, SettingsSurviveToTheNextRun) {
    const std::string awkward = "a \"quoted\" C:\\path\\file\n\ttab\r\x01 [x] ; = end";
    {
        TRegistry reg;
        EXPECT_FALSE(reg.KeyExists("Software\\Livat\\ND307"));
        EXPECT_FALSE(reg.OpenKey("Software\\Livat\\ND307", false));
        ASSERT_TRUE(reg.OpenKey("Software\\Livat\\ND307", true));
        reg.WriteInteger("PortIndex", 2);
        reg.WriteInteger("BaudIndex", -1);
        reg.WriteString("Language", "Русский.lng");
        ASSERT_TRUE(reg.OpenKey("\\Key [with] brackets", true));
        reg.WriteString("", awkward);
        reg.WriteString("name \"q\" = 1", "");
    }
    TRegistry next;
    ASSERT_TRUE(next.OpenKey("Software\\Livat\\ND307", false));
    EXPECT_EQ(next.ReadInteger("PortIndex"), 2);
    EXPECT_EQ(next.ReadInteger("BaudIndex"), -1);
    EXPECT_EQ(next.ReadString("Language"), "Русский.lng");
    EXPECT_NE(FileText().find("\"PortIndex\"=dword:2\n"), std::string::npos);
    ASSERT_TRUE(next.OpenKey("\\key [WITH] brackets", false));
    EXPECT_EQ(next.ReadString(""), awkward);
    EXPECT_EQ(next.ReadString("name \"q\" = 1"), "");
}

// Paths and names ignore letter case and keep their first spelling; a path is relative to the
// open key unless it starts with a backslash.
TEST_F(SettingsTest, KeyPathsAndNames) {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("Software", true));
    ASSERT_TRUE(reg.OpenKey("Livat\\ND307", true));
    reg.WriteInteger("PortIndex", 1);
    reg.WriteInteger("PORTINDEX", 3);
    EXPECT_TRUE(reg.KeyExists("\\SOFTWARE\\livat\\nd307"));
    EXPECT_FALSE(reg.KeyExists("SOFTWARE\\livat\\nd307"));
    ASSERT_TRUE(reg.OpenKey("\\Software", false));
    EXPECT_TRUE(reg.KeyExists("livat\\ND307"));
    reg.CloseKey();
    EXPECT_TRUE(reg.KeyExists("SoftWare\\Livat")); // a parent of a stored key exists
    EXPECT_FALSE(reg.KeyExists("SoftWare\\Livat\\VRF307v3"));
    EXPECT_FALSE(reg.KeyExists("Software\\Liv"));
    ASSERT_TRUE(reg.OpenKey("SoftWare\\Livat\\nd307", false));
    EXPECT_EQ(reg.ReadInteger("portindex"), 3);
    EXPECT_NE(FileText().find("\"PortIndex\"=dword:3"), std::string::npos);
    EXPECT_EQ(FileText().find("PORTINDEX"), std::string::npos);
    EXPECT_FALSE(reg.OpenKey("bad\nname", true));
    reg.SetRootKey(HKEY_CURRENT_USER + 1); // another root
    EXPECT_FALSE(reg.OpenKey("Software", true));
}

TEST_F(SettingsTest, MissingOrMistypedValuesRaise) {
    TRegistry reg;
    EXPECT_EQ(RegistryError([&] { reg.ReadInteger("PortIndex"); }),
              "Failed to get data for 'PortIndex'"); // no key open
    EXPECT_EQ(RegistryError([&] { reg.WriteInteger("PortIndex", 1); }),
              "Failed to set data for 'PortIndex'");
    ASSERT_TRUE(reg.OpenKey("Software\\Livat\\ND307", true));
    reg.WriteInteger("BaudIndex", 5);
    reg.WriteString("Language", "en.lng");
    EXPECT_EQ(reg.ReadInteger("baudindex"), 5);
    EXPECT_EQ(RegistryError([&] { reg.ReadInteger("PortIndex"); }),
              "Failed to get data for 'PortIndex'");
    EXPECT_EQ(RegistryError([&] { reg.ReadInteger("Language"); }),
              "Invalid data type for 'Language'");
    EXPECT_EQ(RegistryError([&] { reg.ReadString("BaudIndex"); }),
              "Invalid data type for 'BaudIndex'");
}

TEST_F(SettingsTest, MalformedFileReadsEmptyAndIsKeptUntilReplaced) {
    const std::string garbage = "[Software\\Livat\\ND307]\nPortIndex=2\n";
    fs::create_directories(file_.parent_path());
    std::ofstream(file_, std::ios::binary) << garbage;
    TRegistry reg;
    EXPECT_FALSE(reg.KeyExists("Software\\Livat\\ND307"));
    EXPECT_FALSE(reg.OpenKey("Software\\Livat\\ND307", false));
    EXPECT_EQ(FileText(), garbage);
    ASSERT_TRUE(reg.OpenKey("Software\\Livat\\ND307", true));
    reg.WriteInteger("PortIndex", 4);
    EXPECT_EQ(reg.ReadInteger("PortIndex"), 4);
    EXPECT_EQ(ReadText(file_.string() + ".bad"), garbage);
}

TEST_F(SettingsTest, WritesReplaceTheFileWhole) {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("Software\\Livat\\ND307", true));
    reg.WriteInteger("PortIndex", 1);
    const std::string before = FileText();
    // A reader that opened the file before a write still sees the complete old content: the
    // new text arrives under the name by rename, never by rewriting in place.
    std::ifstream early(file_, std::ios::binary);
    reg.WriteString("Language", std::string(100000, 'x'));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(early), {}), before);
    for (const auto& entry : fs::directory_iterator(file_.parent_path())) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(name == "registry.txt" || name == "registry.txt.lock") << name;
    }
}

TEST_F(SettingsTest, UnwritableFileFailsAndKeepsOldContent) {
    fs::create_directories(file_); // a folder where the file should be
    TRegistry reg;
    EXPECT_FALSE(reg.OpenKey("Software\\Livat\\ND307", true));
    EXPECT_EQ(RegistryError([&] {
                  reg.OpenKey("\\", false);
                  reg.WriteInteger("x", 1);
              }),
              "Failed to set data for 'x'");
}

TEST_F(SettingsTest, ConcurrentWritersLoseNothing) {
    auto writer = [](const std::string& key) {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(key, true));
        for (int i = 0; i < 25; ++i)
            reg.WriteInteger("V" + std::to_string(i), i);
    };
    std::thread a(writer, "Software\\Livat\\ND307");
    std::thread b(writer, "SoftWare\\Livat\\VRF307v2");
    a.join();
    b.join();
    TRegistry reg;
    for (const char* key : {"Software\\Livat\\ND307", "SoftWare\\Livat\\VRF307v2"}) {
        reg.CloseKey();
        ASSERT_TRUE(reg.OpenKey(key, false));
        for (int i = 0; i < 25; ++i)
            EXPECT_EQ(reg.ReadInteger("V" + std::to_string(i)), i);
    }
}

// Without LIVAT_REGISTRY_FILE the file lies under an absolute XDG_CONFIG_HOME, else under the
// home folder's .config.
TEST_F(SettingsTest, FileLocationFromEnvironment) {
    unsetenv("LIVAT_REGISTRY_FILE");
    const auto saved = [](const char* name) {
        const char* value = std::getenv(name);
        return value ? std::optional<std::string>(value) : std::nullopt;
    };
    const std::optional<std::string> xdg = saved("XDG_CONFIG_HOME"), home = saved("HOME");
    const auto writeOne = [] {
        TRegistry reg;
        return reg.OpenKey("Software", true);
    };
    setenv("XDG_CONFIG_HOME", (dir_ / "cfg").c_str(), 1);
    EXPECT_TRUE(writeOne());
    EXPECT_TRUE(fs::exists(dir_ / "cfg" / "livat" / "registry.txt"));
    setenv("XDG_CONFIG_HOME", "relative", 1); // not absolute: ignored
    setenv("HOME", (dir_ / "home").c_str(), 1);
    EXPECT_TRUE(writeOne());
    EXPECT_TRUE(fs::exists(dir_ / "home" / ".config" / "livat" / "registry.txt"));
    EXPECT_FALSE(fs::exists("relative"));
    for (const auto& [name, value] : {std::pair{"XDG_CONFIG_HOME", xdg}, std::pair{"HOME", home}})
        value ? setenv(name, value->c_str(), 1) : unsetenv(name);
}
