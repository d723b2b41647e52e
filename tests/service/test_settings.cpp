// The settings kept in the registry file across runs.
#include "FormFixture.h"

#include "platform/Settings.h"

#include <QComboBox>

#include <fstream>

namespace {

class SettingsTest : public FormTest {
protected:
    void Store(const std::function<void(plat::TRegistry&)>& write) {
        plat::TRegistry reg;
        ASSERT_TRUE(reg.OpenKey("Software\\Livat\\ND307", true));
        write(reg);
        reg.CloseKey();
    }
};

TEST_F(SettingsTest, SurviveARestart) {
    {
        TNdForm& f = Create("nd307 /zolvy");
        f.ComboBox3->setCurrentIndex(4);
        f.ComboBox4->setCurrentIndex(5);
        f.LanguageFile = "nd307_en.lng";
        Destroy();
    }
    TNdForm& f = Create("nd307 /zolvy");
    EXPECT_EQ(f.ComboBox3->currentText(), "COM5");
    EXPECT_EQ(f.ComboBox4->currentText(), "57600");
    EXPECT_EQ(f.LanguageFile, "nd307_en.lng");

    plat::TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("SOFTWARE\\livat\\nd307", false));
    EXPECT_EQ(reg.ReadInteger("PortIndex"), 4);
    EXPECT_EQ(reg.ReadInteger("BaudIndex"), 5);
    EXPECT_EQ(reg.ReadString("Language"), "nd307_en.lng");
}

TEST_F(SettingsTest, MissingKeyKeepsTheDefaults) {
    TNdForm& f = Create();
    EXPECT_EQ(f.ComboBox3->currentText(), "COM1");
    EXPECT_EQ(f.ComboBox4->currentText(), "9600");
    EXPECT_EQ(f.LanguageFile, "");
}

TEST_F(SettingsTest, ReadingStopsAtTheFirstMissingOrMistypedValue) {
    Store([](plat::TRegistry& r) {
        r.WriteInteger("BaudIndex", 3);
        r.WriteString("Language", "x.lng");
    });
    TNdForm& f = Create();
    EXPECT_EQ(f.ComboBox3->currentIndex(), 0);
    EXPECT_EQ(f.ComboBox4->currentIndex(), 1);
    EXPECT_EQ(f.LanguageFile, "");
    Destroy();

    Store([](plat::TRegistry& r) {
        r.WriteInteger("PortIndex", 7);
        r.WriteString("BaudIndex", "3");
        r.WriteString("Language", "y.lng");
    });
    TNdForm& g = Create();
    EXPECT_EQ(g.ComboBox3->currentIndex(), 7);
    EXPECT_EQ(g.ComboBox4->currentIndex(), 1);
    EXPECT_EQ(g.LanguageFile, "");
}

TEST_F(SettingsTest, IndexOutsideTheListLeavesItUnselectedAndIsSavedAsIs) {
    Store([](plat::TRegistry& r) {
        r.WriteInteger("PortIndex", 60);
        r.WriteInteger("BaudIndex", -5);
        r.WriteString("Language", "");
    });
    TNdForm& f = Create();
    EXPECT_EQ(f.ComboBox3->currentIndex(), -1);
    EXPECT_EQ(f.ComboBox4->currentIndex(), -1);
    // Opening then asks for port 0, which the component refuses with its message.
    f.Button5Click();
    ASSERT_FALSE(boxes_.Texts().empty());
    EXPECT_NE(boxes_.Texts().back().find("COM port error"), std::string::npos);
    EXPECT_EQ(f.ListViewLog->Count(), 0);
    Destroy();
    plat::TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("Software\\Livat\\ND307", false));
    EXPECT_EQ(reg.ReadInteger("PortIndex"), -1);
}

TEST_F(SettingsTest, UnwritableStoreLogsAndTheFormStillCloses) {
    TNdForm& f = Create();
    // A folder where the file should be: nothing can be written.
    std::filesystem::create_directories(RegistryFile());
    bool logged = false;
    QObject::connect(f.ListViewLog->model(), &QAbstractItemModel::rowsInserted,
                     [&] { logged = true; });
    Destroy();
    EXPECT_TRUE(logged);
}

} // namespace
