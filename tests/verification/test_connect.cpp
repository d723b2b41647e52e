// The connection page's lists and its saved settings.
#include "WizardTest.h"

#include "verification/frame_connect.h"

#include "platform/Settings.h"

#include <QComboBox>
#include <QPushButton>

namespace {

class ConnectPage : public WizardTest {
protected:
    ConnectPage() { CreateWizard(); }

    TConnectFrame& Page() { return *ConnectFrame; }
    static std::string Shown(QComboBox* list) { return list->currentText().toStdString(); }
    static void Store(const std::vector<std::pair<const char*, int>>& values) {
        plat::TRegistry registry;
        ASSERT_TRUE(registry.OpenKey(ConnectSettingsKey, true));
        for (const auto& [name, value] : values)
            registry.WriteInteger(name, value);
    }
};

// What the connection run stores under the key comes back on the next run.
TEST_F(ConnectPage, SavedChoicesComeBackOnTheNextRun) {
    Page().ComboBox1->setCurrentIndex(2);
    Page().ComboBox2->setCurrentIndex(3);
    Page().SaveSettings();
    EXPECT_FALSE(Page().Button1->isEnabled());
    CreateWizard();
    Page().ShowFrame();
    EXPECT_EQ(Shown(Page().ComboBox1) + " " + Shown(Page().ComboBox2), "COM3 19200");
    EXPECT_TRUE(Page().Button1->isEnabled());
}

// The first run shows the defaults and creates no key. Reading stops at the first value that is
// missing or, as in a damaged file, an index outside its list: the lists keep their defaults.
TEST_F(ConnectPage, DefaultsThenStoredIndexesUpToTheFirstMissingOne) {
    form_->EnableNext();
    Page().ShowFrame();
    EXPECT_FALSE(form_->NextButton->isEnabled());
    EXPECT_TRUE(Page().ComboBox3->isHidden());
    EXPECT_FALSE(plat::TRegistry().KeyExists(ConnectSettingsKey));
    const std::pair<std::vector<std::pair<const char*, int>>, const char*> cases[] = {
        {{}, "COM1 9600 1"},
        {{{"BaudIndex", 4}, {"ModbusIndex", 7}}, "COM1 9600 1"},
        {{{"PortIndex", 75}, {"BaudIndex", 3}, {"ModbusIndex", 253}}, "COM1 9600 1"},
        {{{"PortIndex", -3}, {"BaudIndex", 3}, {"ModbusIndex", 253}}, "COM1 9600 1"},
        {{{"PortIndex", 2}, {"BaudIndex", 7}, {"ModbusIndex", 253}}, "COM3 9600 1"},
        {{{"PortIndex", 2}, {"BaudIndex", 3}, {"ModbusIndex", 254}}, "COM3 19200 1"},
        {{{"PortIndex", 59}, {"BaudIndex", 6}, {"ModbusIndex", 253}}, "COM60 115200 254"}};
    for (const auto& [values, shown] : cases) {
        CreateWizard();
        Store(values);
        Page().ShowFrame();
        EXPECT_EQ(Shown(Page().ComboBox1) + " " + Shown(Page().ComboBox2) + " " +
                      Shown(Page().ComboBox3),
                  shown);
    }
}

} // namespace
