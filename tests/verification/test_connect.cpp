// The connection page's lists and its saved settings.
#include "WizardTest.h"

#include "verification/frame_connect.h"

#include "platform/Settings.h"

#include <QComboBox>
#include <QLabel>
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
    static int Stored(const char* name) {
        plat::TRegistry registry;
        if (!registry.OpenKey(ConnectSettingsKey, false)) return -1;
        return registry.ReadInteger(name);
    }
};

TEST_F(ConnectPage, FirstRunShowsTheDefaultsAndCreatesNoKey) {
    form_->EnableNext();
    Page().ShowFrame();
    EXPECT_FALSE(form_->NextButton->isEnabled());
    EXPECT_EQ(Page().ComboBox1->count(), 60);
    EXPECT_EQ(Page().ComboBox1->itemText(59), "COM60");
    EXPECT_EQ(Page().ComboBox3->count(), 254);
    EXPECT_EQ(Page().GetPortName(), "COM1");
    EXPECT_EQ(Page().GetBaud(), 9600);
    EXPECT_EQ(Page().GetModbusAddress(), 1);
    EXPECT_TRUE(Page().ComboBox3->isHidden());
    EXPECT_TRUE(Page().Label3->isHidden());
    EXPECT_EQ(Page().CaptionLabel->text().toStdString(), "Подключение регистратора к компьютеру");
    EXPECT_FALSE(plat::TRegistry().KeyExists(ConnectSettingsKey));
}

// Saved under the same key the page reads, so the next run comes up with the choices.
TEST_F(ConnectPage, SavedChoicesComeBackOnTheNextRun) {
    Page().ComboBox1->setCurrentIndex(2);
    Page().ComboBox2->setCurrentIndex(3);
    Page().SaveSettings();
    EXPECT_FALSE(Page().Button1->isEnabled());
    EXPECT_EQ(Stored("PortIndex"), 2);
    EXPECT_EQ(Stored("BaudIndex"), 3);
    EXPECT_EQ(Stored("ModbusIndex"), 0);
    CreateWizard();
    Page().ShowFrame();
    EXPECT_EQ(Shown(Page().ComboBox1), "COM3");
    EXPECT_EQ(Shown(Page().ComboBox2), "19200");
    EXPECT_TRUE(Page().Button1->isEnabled());
}

TEST_F(ConnectPage, ReadingStopsAtTheFirstMissingValue) {
    Store({{"BaudIndex", 4}, {"ModbusIndex", 7}});
    Page().ShowFrame();
    EXPECT_EQ(Shown(Page().ComboBox1), "COM1");
    EXPECT_EQ(Shown(Page().ComboBox2), "9600");
    EXPECT_EQ(Shown(Page().ComboBox3), "1");
}

// A hand-edited index beyond its list is passed over; the values after it are still read.
TEST_F(ConnectPage, IndexOutsideItsListIsPassedOver) {
    Store({{"PortIndex", 60}, {"BaudIndex", -1}, {"ModbusIndex", 253}});
    Page().ShowFrame();
    EXPECT_EQ(Shown(Page().ComboBox1), "COM1");
    EXPECT_EQ(Shown(Page().ComboBox2), "9600");
    EXPECT_EQ(Page().GetModbusAddress(), 254);
}

} // namespace
