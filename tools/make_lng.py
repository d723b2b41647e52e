#!/usr/bin/env python3
"""Writes the service program's language modules (service/lang/*.lng).

The texts are kept here in UTF-8 so they can be edited comfortably; the modules themselves must be
code page 1251 with CR LF line ends, which is what this script produces. Run it after editing:

    python3 tools/make_lng.py            # writes service/lang/nd307.lng and nd307_en.lng
    python3 tools/make_lng.py --check    # fails when the committed modules are out of date

The Russian module is nd307.lng so that it sorts before nd307_en.lng and is the one a fresh
installation starts with.
"""

import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
OUT_DIR = os.path.join(HERE, os.pardir, "service", "lang")

# Every key the program reads, in the order it appears in a module. Keys inside the ranges that the
# program does not read are given texts as well, so that a translator sees no gaps.
KEYS = (
    [1000]
    + list(range(2000, 2003))
    + list(range(3000, 3005))
    + list(range(4000, 4009))
    + list(range(5000, 5015))
    + list(range(6000, 6014))
    + list(range(7000, 7019))
    + list(range(8000, 8023))
    + list(range(9000, 9010))
    + list(range(10000, 10002))
    + list(range(11001, 11026))
)

GROUPS = [
    (1000, "Program title"),
    (2000, "Page captions"),
    (3000, "Units"),
    (4000, "Column captions"),
    (5000, "Names of measured quantities"),
    (6000, "Recorder parameters, field labels, diagnostics caption"),
    (7000, "Value placeholder, modes (command values 0-10), recording state"),
    (8000, "Notes, option names, diagnostics hint"),
    (9000, "Buttons, check box, radio buttons, clock group, port labels"),
    (10000, "About box"),
    (11001, "Log and diagnostics texts"),
]

RUSSIAN = {
    "lng": "Русский",
    1000: "Сервисная программа НД 3.07",
    2000: "Измерения",
    2001: "Параметры",
    2002: "Управление",
    3000: "Гц",
    3001: "В",
    3002: "с",
    3003: "мин",
    3004: "о.е.",
    4000: "Величина",
    4001: "Значение",
    4002: "Ед. изм.",
    4003: "Примечание",
    4004: "Параметр",
    4005: "Значение",
    4006: "Ед. изм.",
    4007: "Время",
    4008: "Сообщение",
    5000: "f",
    5001: "f",
    5002: "Uном",
    5003: "U",
    5004: "U",
    5005: "KU",
    5006: "tп",
    5007: "Uп",
    5008: "Uпер",
    5009: "tпер",
    5010: "Kпер",
    5011: "Uср",
    5012: "KU",
    5013: "KUср",
    5014: "Uср",
    6000: "Заводской номер",
    6001: "Версия встроенного ПО",
    6002: "Режим работы",
    6003: "Интервал усреднения",
    6004: "Номинальная частота",
    6005: "Номинальное напряжение",
    6006: "Порог провала напряжения",
    6007: "Порог перенапряжения",
    6008: "Мин. длительность события",
    6009: "Дата",
    6010: "Время",
    6011: "Регистрация",
    6012: "Опция",
    6013: "Диагностика НД 3.07",
    7000: "---",
    7001: "Ожидание",
    7002: "Измерение",
    7003: "Калибровка",
    7004: "Самотестирование",
    7005: "Останов",
    7006: "Работа",
    7007: "Применение времени",
    7008: "Запись номера",
    7009: "Поверка",
    7010: "Очистка архива",
    7011: "Перезапуск",
    7012: "Резерв",
    7013: "Резерв",
    7014: "Резерв",
    7015: "Резерв",
    7016: "Резерв",
    7017: "Остановлена",
    7018: "Идёт запись",
    8000: "Отклонение частоты",
    8001: "Установившееся отклонение напряжения",
    8002: "Частота",
    8003: "Напряжение гармоники порядка ",
    8004: " (3 с)",
    8005: "Коэффициент гармонической составляющей напряжения",
    8006: "Длительность провала напряжения",
    8007: "Глубина провала напряжения",
    8008: "Напряжение при перенапряжении",
    8009: "Длительность временного перенапряжения",
    8010: "Коэффициент временного перенапряжения",
    8011: "Начало провала напряжения",
    8012: "Окончание провала напряжения",
    8013: "Начало временного перенапряжения",
    8014: "Окончание временного перенапряжения",
    8015: "Выключена",
    8016: "Включена",
    8017: ", среднее за интервал",
    8018: "Действующее значение напряжения (3 с)",
    8019: "Коэфф. искажения синусоидальности напряжения (3 с)",
    8020: "Коэфф. искаж. синусоидальности, средний за интервал",
    8021: "Действующее значение напряжения, среднее за интервал",
    8022: "Проверить карту памяти и часы регистратора",
    9000: "Применить",
    9001: "Считать",
    9002: "Стоп",
    9003: "Часы регистратора",
    9004: "Время компьютера",
    9005: "Заданные дата и время",
    9006: "Циклически",
    9007: "Порт",
    9008: "Скорость, бод",
    9009: "Диагностика",
    10000: "Версия",
    10001: "http://www.livat.ru",
    11001: "Порт открыт.",
    11002: "Не удалось сохранить настройки в реестре.",
    11003: "Неверно введены дата или время.",
    11004: "Ошибка чтения параметров регистратора.",
    11005: "Ошибка чтения измеренных значений.",
    11006: "Часы регистратора установлены.",
    11007: "Ошибка записи заводского номера.",
    11008: "Ошибка записи опции.",
    11009: "Ошибка записи режима работы.",
    11010: "Ошибка установки часов регистратора.",
    11011: "Регистратор отклонил запрос.",
    11012: "Регистратор: недопустимая функция (код 1).",
    11013: "Регистратор: недопустимый адрес регистра (код 2).",
    11014: "Ошибка контрольной суммы ответа.",
    11015: "Ответ получен от другого устройства.",
    11016: "Состояние карты:",
    11017: "Тип карты памяти:",
    11018: "Работа таймера:",
    11019: "Файловая система карты повреждена.",
    11020: "Отформатировать карту памяти?",
    11021: "норма",
    11022: "ошибка, код",
    11023: "неисправность",
    11024: "карта не установлена",
    11025: "Ошибка запроса диагностики.",
}

ENGLISH = {
    "lng": "English",
    1000: "ND 3.07 service program",
    2000: "Measurements",
    2001: "Parameters",
    2002: "Control",
    3000: "Hz",
    3001: "V",
    3002: "s",
    3003: "min",
    3004: "p.u.",
    4000: "Quantity",
    4001: "Value",
    4002: "Unit",
    4003: "Note",
    4004: "Parameter",
    4005: "Value",
    4006: "Unit",
    4007: "Time",
    4008: "Message",
    5000: "f",
    5001: "f",
    5002: "Unom",
    5003: "U",
    5004: "U",
    5005: "KU",
    5006: "tdip",
    5007: "Udip",
    5008: "Uswell",
    5009: "tswell",
    5010: "Kswell",
    5011: "Uavg",
    5012: "THD",
    5013: "THDavg",
    5014: "Uavg",
    6000: "Factory number",
    6001: "Firmware version",
    6002: "Operating mode",
    6003: "Averaging interval",
    6004: "Nominal frequency",
    6005: "Nominal voltage",
    6006: "Voltage dip threshold",
    6007: "Overvoltage threshold",
    6008: "Minimum event duration",
    6009: "Date",
    6010: "Time",
    6011: "Recording",
    6012: "Option",
    6013: "ND 3.07 diagnostics",
    7000: "---",
    7001: "Idle",
    7002: "Measuring",
    7003: "Calibration",
    7004: "Self-test",
    7005: "Stop",
    7006: "Recording",
    7007: "Apply clock",
    7008: "Store number",
    7009: "Verification",
    7010: "Clear archive",
    7011: "Restart",
    7012: "Reserved",
    7013: "Reserved",
    7014: "Reserved",
    7015: "Reserved",
    7016: "Reserved",
    7017: "Stopped",
    7018: "In progress",
    8000: "Frequency deviation",
    8001: "Steady-state voltage deviation",
    8002: "Frequency",
    8003: "Voltage of harmonic order ",
    8004: " (3 s)",
    8005: "Harmonic voltage factor",
    8006: "Voltage dip duration",
    8007: "Voltage dip depth",
    8008: "Overvoltage magnitude",
    8009: "Temporary overvoltage duration",
    8010: "Temporary overvoltage factor",
    8011: "Voltage dip start",
    8012: "Voltage dip end",
    8013: "Temporary overvoltage start",
    8014: "Temporary overvoltage end",
    8015: "Off",
    8016: "On",
    8017: ", interval average",
    8018: "RMS voltage (3 s)",
    8019: "Total harmonic distortion of voltage (3 s)",
    8020: "Total harmonic distortion, interval average",
    8021: "RMS voltage, interval average",
    8022: "Check the recorder's memory card and clock",
    9000: "Apply",
    9001: "Read",
    9002: "Stop",
    9003: "Recorder clock",
    9004: "PC clock",
    9005: "Typed date and time",
    9006: "Cyclic",
    9007: "Port",
    9008: "Baud rate",
    9009: "Diagnostics",
    10000: "Version",
    10001: "http://www.livat.ru",
    11001: "Port opened.",
    11002: "The settings could not be saved in the registry.",
    11003: "The date or time is not valid.",
    11004: "Reading the recorder's parameters failed.",
    11005: "Reading the measured values failed.",
    11006: "The recorder's clock has been set.",
    11007: "Writing the factory number failed.",
    11008: "Writing the option failed.",
    11009: "Writing the operating mode failed.",
    11010: "Setting the recorder's clock failed.",
    11011: "The recorder rejected the request.",
    11012: "Recorder: illegal function (code 1).",
    11013: "Recorder: illegal register address (code 2).",
    11014: "Reply checksum error.",
    11015: "The reply came from another device.",
    11016: "Card status:",
    11017: "Memory card type:",
    11018: "Timer:",
    11019: "The card's file system is damaged.",
    11020: "Format the memory card?",
    11021: "OK",
    11022: "error, code",
    11023: "fault",
    11024: "no card inserted",
    11025: "The diagnostics request failed.",
}

MODULES = {"nd307.lng": RUSSIAN, "nd307_en.lng": ENGLISH}


def render(texts):
    missing = [k for k in KEYS if k not in texts]
    extra = [k for k in texts if k != "lng" and k not in KEYS]
    if missing or extra:
        raise SystemExit(f"keys missing {missing}, unexpected {extra}")
    lines = ["[Language]", "lng=" + texts["lng"], "", "[Texts]"]
    starts = dict(GROUPS)
    for key in KEYS:
        if key in starts:
            if key != KEYS[0]:
                lines.append("")
            lines.append(f"; {starts[key]}")
        lines.append(f"{key}={texts[key]}")
    # The encoder refuses a character that code page 1251 lacks (the Greek prefixes, for one,
    # are added by the program and must never be in a module).
    return ("\r\n".join(lines) + "\r\n").encode("cp1251")


def main():
    check = "--check" in sys.argv[1:]
    stale = []
    for name, texts in MODULES.items():
        path = os.path.normpath(os.path.join(OUT_DIR, name))
        data = render(texts)
        if check:
            try:
                with open(path, "rb") as f:
                    if f.read() != data:
                        stale.append(path)
            except FileNotFoundError:
                stale.append(path)
        else:
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(data)
    if stale:
        raise SystemExit("out of date: " + ", ".join(stale))


if __name__ == "__main__":
    main()
