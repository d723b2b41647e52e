// The ambient conditions: temperature, humidity and pressure picked from fixed lists.
#pragma once

#include "verification/base_frame.h"

class QComboBox;

class TClimatFrame : public TBaseFrame {
public:
    explicit TClimatFrame(QWidget* owner = nullptr);

    QLabel* InfoLabel = nullptr;
    QLabel* Label1 = nullptr;
    QComboBox* ComboBox1 = nullptr; // temperature, 0..50 degrees Celsius
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QComboBox* ComboBox2 = nullptr; // humidity, 0..100 %
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QComboBox* ComboBox3 = nullptr; // pressure, 84..106 kPa
    QLabel* Label6 = nullptr;

    int GetTemperature() const; // degrees Celsius
    int GetHumidity() const;    // per cent
    int GetPressure() const;    // kPa
};

extern TClimatFrame* ClimatFrame;
