// The wizard against the recorder simulator on a pseudo-terminal mapped as COM5: connecting and
// reading the configuration, a signal measurement with a shortened
// averaging wait, an aborted wait, and an event measurement.
#include "WizardTest.h"

#include "verification/frame_connect.h"
#include "verification/frame_signal.h"
#include "verification/frame_up_dn.h"
#include "verification/progress.h"
#include "verification/signals.h"

#include "platform/Settings.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTimer>

#include <cmath>

namespace {

constexpr int SignalPageIndex = 6;
constexpr int UpDnPageIndex = 7;
const std::string Greeting = "Поверка НД 3.07: Последовательный порт открыт!";

TEST_F(RecorderRun, ConnectReadsTheConfigurationAndRemembersTheChoices) {
    sim_.Serve(pty_.MasterFd());
    TMainForm& f = AtConnectPage();
    ConnectFrame->ComboBox1->setCurrentIndex(4);
    ConnectFrame->ComboBox2->setCurrentIndex(3);
    guitest::ShowActive(f);
    ConnectFrame->Button1->setFocus();
    ConnectFrame->Button1->click();
    EXPECT_EQ(Boxes(), Lines{Greeting});
    ASSERT_TRUE(wizardtest::PumpUntil([&] { return f.NextButton->isEnabled(); }, 5000));
    // The connection button, disabled for good, leaves the focus on "Дальше", where the program
    // puts it.
    EXPECT_EQ(QApplication::focusWidget(), f.NextButton);
    EXPECT_EQ(f.FSerialNumber, 12345);
    EXPECT_EQ(f.FFirmwareVersion, 24);
    EXPECT_EQ(f.FPortName, "COM5");
    EXPECT_EQ(f.FModbusAddress, 1);
    EXPECT_EQ(f.CommPort1->BaudRate(), cbr9600); // the recorder answers the wizard at 9600
    EXPECT_TRUE(f.CommPort1->IsEnabled());
    EXPECT_FALSE(ConnectFrame->Button1->isEnabled());
    plat::TRegistry registry;
    ASSERT_TRUE(registry.OpenKey(ConnectSettingsKey, false));
    EXPECT_EQ(registry.ReadInteger("PortIndex"), 4);
    EXPECT_EQ(registry.ReadInteger("BaudIndex"), 3);
    EXPECT_EQ(registry.ReadInteger("ModbusIndex"), 0);
}

TEST_F(RecorderRun, MissingPortAndFailedReadLeaveThePageWaiting) {
    TMainForm& f = AtConnectPage();
    ConnectFrame->ComboBox1->setCurrentIndex(6); // COM7 does not exist
    ConnectFrame->Button1->click();
    EXPECT_EQ(Boxes(), Lines{"COM port error: Can't open COM port"});
    EXPECT_FALSE(f.CommPort1->IsEnabled());
    ClearBoxes();

    sim_.SetPersistentFault(SimFault::NoReply);
    sim_.Serve(pty_.MasterFd());
    ConnectFrame->ComboBox1->setCurrentIndex(4);
    ConnectFrame->Button1->click();
    ASSERT_TRUE(wizardtest::PumpUntil([this] { return Boxes().size() == 2; }, 8000));
    EXPECT_EQ(Boxes()[1], "Поверка НД 3.07: Не удалось прочитать конфигурацию");
    EXPECT_TRUE(ConnectFrame->Button1->isEnabled());
    EXPECT_FALSE(f.NextButton->isEnabled());
    EXPECT_FALSE(plat::TRegistry().KeyExists(ConnectSettingsKey));

    // Another press opens the port afresh, with the greeting and the read.
    sim_.ClearFaults();
    ClearBoxes();
    ConnectFrame->Button1->click();
    EXPECT_EQ(Boxes(), Lines{Greeting});
    EXPECT_TRUE(wizardtest::PumpUntil([&] { return f.NextButton->isEnabled(); }, 5000));
}

// Signal 2 of the sample file: 242 V (10 %), 50.4 Hz, K_U(3) 5 %, K_U(5) 2 %. The adapter is
// pulled and put back before the first result: "Пуск" opens the port again by itself, without
// the greeting.
TEST_F(RecorderRun, SignalTestAfterAPulledAdapterWaitsReadsStoresTheErrorsAndClosesThePort) {
    sim_.SetMeasurement(105, 10.3f);
    sim_.SetMeasurement(108, 0.43f);
    sim_.SetMeasurement(1, 242.0f);
    sim_.SetMeasurement(3, 11.44f); // 5.2 %: relative error 4 %
    sim_.SetMeasurement(5, 4.18f);  // 1.9 %: absolute error -0.1
    sim_.SetMeasurement(7, 1.1f);   // 0.5 % where 0 is set
    sim_.SetMeasurement(51, 7.5f);
    sim_.Serve(pty_.MasterFd());
    TMainForm& f = Connected();
    f.NextButtonClick();
    ASSERT_EQ(f.FCurrent, SignalPageIndex);
    Replug(f);
    wizardtest::SelectRow(*SignalFrame->ListView, 1);
    ClearBoxes();
    sim_.ClearCounts();
    SignalFrame->Button2->click();
    ASSERT_TRUE(WaitPortClosed(f));
    const SignalRecord& s = Signals[1];
    EXPECT_TRUE(s.measured);
    EXPECT_NEAR(s.errDeviationU, 0.3f, 1e-4);
    EXPECT_NEAR(s.errDeviationF, 0.03f, 1e-5);
    EXPECT_NEAR(s.errHarmonic[3], 4.0f, 1e-3);
    EXPECT_NEAR(s.errHarmonic[5], -0.1f, 1e-4);
    EXPECT_NEAR(s.errHarmonic[7], 0.5f, 1e-4);
    EXPECT_NEAR(s.errHarmonic[1], 10.0f, 1e-3); // 110 % measured against 100 % set
    EXPECT_FLOAT_EQ(s.measInterharmonic[0], 7.5f);
    EXPECT_EQ(f.FPortClosed, 1);
    EXPECT_EQ(f.FDataReceived, 0);
    EXPECT_TRUE(wizardtest::RowChecked(*SignalFrame->ListView, 1));
    EXPECT_EQ(SignalFrame->RowColor(1), TSignalFrame::clRed); // K_U(1) 10 % off
    EXPECT_TRUE(Boxes().empty());
    // One configuration read (request 22), then the measurements in their two blocks.
    EXPECT_EQ(sim_.FramesReceived(3), 3);

    // The next start opens the port again without the greeting; its result overwrites.
    sim_.SetMeasurement(105, 9.9f);
    f.FRetries = 3;
    wizardtest::SelectRow(*SignalFrame->ListView, 1);
    SignalFrame->Button2->click();
    EXPECT_TRUE(f.CommPort1->IsEnabled());
    EXPECT_EQ(f.FRetries, 0);
    ASSERT_TRUE(WaitPortClosed(f));
    EXPECT_NEAR(Signals[1].errDeviationU, -0.1f, 1e-4);
    EXPECT_TRUE(Boxes().empty());
}

// The abort button closes the port at once; no results are read, and the next start reopens
// the port before its configuration read.
TEST_F(RecorderRun, AbortedWaitReadsNothingAndTheNextStartReopens) {
    sim_.Serve(pty_.MasterFd());
    TMainForm& f = Connected();
    f.NextButtonClick();
    TFormProgress::TickInterval = 1000;
    bool aborted = false;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (auto* wait = dynamic_cast<TFormProgress*>(QApplication::activeModalWidget())) {
            EXPECT_EQ(wait->windowTitle().toStdString(), "Интервал усреднения...");
            wait->Button->click();
            aborted = true;
        }
    });
    watcher.start(10);
    sim_.ClearCounts();
    SignalFrame->Button2->click();
    ASSERT_TRUE(wizardtest::PumpUntil([&] { return aborted; }, 5000));
    watcher.stop();
    wizardtest::Pump(100);
    EXPECT_FALSE(f.CommPort1->IsEnabled());
    EXPECT_EQ(f.FPortClosed, 1);
    EXPECT_EQ(sim_.FramesReceived(3), 1); // request 22 only
    EXPECT_FALSE(Signals[0].measured);

    // Enter held on "Пуск": its repeats reach the wait's "Прервать" and must not press it. The
    // wait runs its full time, and the result is read.
    TFormProgress::TickInterval = 5;
    bool waited = false;
    QObject::disconnect(&watcher, &QTimer::timeout, nullptr, nullptr);
    QObject::connect(&watcher, &QTimer::timeout, [&waited] {
        waited = waited || dynamic_cast<TFormProgress*>(QApplication::activeModalWidget());
    });
    watcher.start(10);
    guitest::ShowActive(f);
    SignalFrame->Button2->setFocus();
    guitest::Hold(Qt::Key_Return, 40);
    ASSERT_TRUE(WaitPortClosed(f));
    EXPECT_TRUE(waited);
    EXPECT_TRUE(Signals[0].measured);
    EXPECT_EQ(sim_.FramesReceived(3), 4); // request 22, then the measurements in two blocks
    EXPECT_EQ(Boxes(), Lines{Greeting});
}

// Overvoltage 1 of the sample file: K 1.2 for 100 ms. The recorder puts the duration in
// seconds and the factor in values 113 and 114. The adapter is pulled and put back between
// "Работа" and "Считать", which opens the port again.
TEST_F(RecorderRun, EventTestEntersWorkModeThenStoresTheReadEvent) {
    sim_.SetMeasurement(113, 0.104f);
    sim_.SetMeasurement(114, 1.21f);
    sim_.SetMeasurement(110, 0.5f);
    sim_.SetMeasurement(111, 30.0f);
    sim_.Serve(pty_.MasterFd());
    TMainForm& f = Connected();
    f.NextButtonClick();
    f.NextButtonClick();
    ASSERT_EQ(f.FCurrent, UpDnPageIndex);
    wizardtest::SelectRow(*UpDnFrame->ListView, 0);
    ClearBoxes();
    EXPECT_FALSE(UpDnFrame->Button2->isEnabled()); // only work mode enables reading
    UpDnFrame->Button1->click();
    ASSERT_TRUE(wizardtest::PumpUntil([] { return UpDnFrame->Button2->isEnabled(); }, 5000));
    EXPECT_EQ(sim_.Register(0x0402), 5);
    EXPECT_EQ(Boxes(), Lines{"Поверка НД 3.07: Регистратор переведен в режим\"Работа\".\n"
                             "Подайте на вход регистратора выбранный сигнал."});
    Replug(f);
    UpDnFrame->Button2->click();
    EXPECT_FALSE(UpDnFrame->Button2->isEnabled());
    ASSERT_TRUE(WaitPortClosed(f));
    const EventSignalRecord& e = EventSignals[0];
    EXPECT_TRUE(e.measured);
    EXPECT_FLOAT_EQ(e.measDuration, 104.0f);
    EXPECT_NEAR(e.errDuration, 4.0f, 1e-3);
    EXPECT_NEAR(e.errLevel, 0.01f, 1e-4);
    EXPECT_EQ(f.FPortClosed, 1);

    // A dip row reads the dip values; "Работа" reopens the port first.
    wizardtest::SelectRow(*UpDnFrame->ListView, 4);
    UpDnFrame->Button1->click();
    EXPECT_TRUE(f.CommPort1->IsEnabled());
    ASSERT_TRUE(wizardtest::PumpUntil([] { return UpDnFrame->Button2->isEnabled(); }, 5000));
    UpDnFrame->Button2->click();
    ASSERT_TRUE(WaitPortClosed(f));
    EXPECT_FLOAT_EQ(EventSignals[4].measDuration, 500.0f);
    EXPECT_NEAR(EventSignals[4].errLevel, 0.0f, 1e-4);
    EXPECT_NEAR(EventSignals[4].errDuration, 400.0f, 1e-3);

    // A duration of 0: nothing registered. The operator is told, the errors are kept, and the
    // event no longer counts as measured.
    sim_.SetMeasurement(110, 0.0f);
    UpDnFrame->Button1->click();
    ASSERT_TRUE(wizardtest::PumpUntil([] { return UpDnFrame->Button2->isEnabled(); }, 5000));
    ClearBoxes();
    UpDnFrame->Button2->click();
    ASSERT_TRUE(WaitPortClosed(f));
    EXPECT_EQ(Boxes(),
              Lines{"Поверка НД 3.07: Зарегистрировать провал/перенапряжение не удалось!"});
    EXPECT_FALSE(EventSignals[4].measured);
    EXPECT_NEAR(EventSignals[4].errDuration, -100.0f, 1e-3);
    EXPECT_FALSE(wizardtest::RowChecked(*UpDnFrame->ListView, 4));
}

} // namespace
