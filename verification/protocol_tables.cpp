#include "verification/protocol_tables.h"

#include "platform/Formats.h"

namespace {

const char* const EmptyCell = "<TD>&nbsp;</TD>";

// 220 V, the voltage every harmonic percentage refers to.
constexpr double Nominal = 220.0;

// A number in a protocol table: fixed notation with precision 6; one count of decimals serves
// every number of a table, its limit included.
std::string ProtocolNumber(double value, int decimals) {
    return plat::FloatToStrF(value, plat::ffFixed, 6, decimals);
}

std::string F2(double value) {
    return ProtocolNumber(value, 2);
}

std::string Cell(const std::string& text) {
    return "<TD>" + text + "</TD>";
}

std::string MarkedCell(const std::string& text, bool beyondLimit) {
    return beyondLimit ? "<TD><SPAN>" + text + "</SPAN></TD>" : Cell(text);
}

std::string LimitCell(const std::string& text) {
    return "<TD>&plusmn;" + text + "</TD>";
}

void AppendCommonHeader(ProtocolLines& lines, const ResultTableTexts& texts) {
    lines.insert(lines.end(), {"<BR><P></P>", TableStart, texts.caption});
    lines.insert(lines.end(),
                 {"<TR ALIGN=LEFT>", "<TH ROWSPAN=2>№ сигнала</TH>",
                  "<TH ALIGN=CENTER>Генератор ГМ6.220</TH>", "<TH ALIGN=CENTER>НД 3.07</TH>",
                  texts.errorHeader, texts.limitHeader, "</TR>"});
    lines.insert(lines.end(), {"<TR ALIGN=LEFT>", texts.setHeader, texts.measuredHeader, "</TR>"});
}

bool AppendCommonRow(ProtocolLines& lines, const ResultTableRow& row, float limit, int decimals) {
    const bool beyond = ExceedsLimit(row.error, limit);
    lines.push_back("<TR ALIGN=CENTER>");
    lines.push_back(Cell(plat::IntToStr(row.number)));
    lines.push_back(Cell(ProtocolNumber(row.set, decimals)));
    lines.push_back(Cell(ProtocolNumber(row.measured, decimals)));
    lines.push_back(MarkedCell(ProtocolNumber(row.error, decimals), beyond));
    lines.push_back(LimitCell(ProtocolNumber(limit, decimals)));
    lines.push_back("</TR>");
    return !beyond;
}

// --- Table 3 ---

void AppendHarmonicHeader(ProtocolLines& lines, int page) {
    lines.push_back("<BR><P></P>");
    lines.push_back(TableStart);
    lines.push_back(page == 0 ? "<CAPTION ALIGN=LEFT><B>Таблица 3. Определение относительной "
                                "погрешности измерения коэффициента n-ой гармонической "
                                "подгруппы фазного напряжения K<SUB>U(n)</SUB>,%</B></CAPTION>"
                              : "<BR>Продолжение таблицы 3");
    lines.insert(lines.end(), {"<TR ALIGN=LEFT>", "<TH ROWSPAN=3>№ гармо-<BR>ники</TH>"});
    for (int block = 0; block < 2; ++block) {
        lines.push_back("<TH COLSPAN=6 ALIGN=CENTER>Сигнал " +
                        plat::IntToStr(2 * page + block + 1) + "</TH>");
        lines.push_back("<TH ROWSPAN=2 COLSPAN=2>Предел<BR>погреш-<BR>ности &Delta;/"
                        "<BR>относит.<SUP>*</SUP></TH>");
    }
    lines.push_back("</TR>");
    lines.push_back("<TR ALIGN=LEFT>");
    for (int block = 0; block < 2; ++block) {
        lines.insert(lines.end(),
                     {"<TH COLSPAN=2>Устано-<BR>влен-<BR>ный<BR>K<SUB>U(n)</SUB></TH>",
                      "<TH COLSPAN=2>Изме-<BR>ренный<BR>K<SUB>U(n)</SUB></TH>",
                      "<TH COLSPAN=2>Погреш-<BR>ность &Delta;/<BR>относит.<SUP>*</SUP></TH>"});
    }
    lines.push_back("</TR>");
    lines.push_back("<TR ALIGN=CENTER>");
    for (int pair = 0; pair < 8; ++pair)
        lines.insert(lines.end(), {"<TH ALIGN=CENTER> % </TH>", "<TH ALIGN=CENTER> В </TH>"});
    lines.push_back("</TR>");
}

// The eight cells of one signal at one order; false when its error is beyond its limit.
bool AppendHarmonicCells(ProtocolLines& lines, const SignalRecord& signal, int n, float limitAbs,
                         float limitRel) {
    const double s = signal.setHarmonic[n];
    const double m = signal.measHarmonicV[n];
    const float e = signal.errHarmonic[n];
    const bool relative = IsRelativeHarmonic(signal.setHarmonic[n]);
    const bool beyond = ExceedsLimit(e, HarmonicLimit(signal.setHarmonic[n], limitAbs, limitRel));
    const double errorV = relative ? Nominal * s * 0.01 * e * 0.01 : Nominal * e * 0.01;
    const double limitV =
        relative ? Nominal * s * 0.01 * (0.01 * limitRel) : Nominal * limitAbs * 0.01;
    lines.push_back(Cell(F2(s)));
    lines.push_back(Cell(F2(Nominal * s * 0.01)));
    lines.push_back(Cell(F2((1.0 / Nominal) * m * 100)));
    lines.push_back(Cell(F2(m)));
    lines.push_back(MarkedCell(F2(e), beyond));
    lines.push_back(MarkedCell(F2(errorV), beyond));
    lines.push_back(LimitCell(F2(limitAbs) + "/&plusmn;" + F2(limitRel)));
    lines.push_back(LimitCell(F2(limitV)));
    return !beyond;
}

bool AppendHarmonicPage(ProtocolLines& lines, const std::vector<const SignalRecord*>& measured,
                        int page, float limitAbs, float limitRel) {
    AppendHarmonicHeader(lines, page);
    bool pass = true;
    for (int n = 0; n < HarmonicCount; ++n) {
        lines.push_back("<TR ALIGN=CENTER>");
        lines.push_back("<TD ALIGN=CENTER>" + plat::IntToStr(n) + "</TD>");
        for (int block = 0; block < 2; ++block) {
            const size_t position = static_cast<size_t>(2 * page + block);
            if (position < measured.size()) {
                pass =
                    AppendHarmonicCells(lines, *measured[position], n, limitAbs, limitRel) && pass;
            } else {
                lines.insert(lines.end(), 8, EmptyCell);
            }
        }
        lines.push_back("</TR>");
    }
    lines.push_back("</TABLE>");
    return pass;
}

// --- Tables 1, 2, 4 to 7 ---

const ResultTableTexts Table1 = {
    "<CAPTION ALIGN=LEFT><B>Таблица 1. Определение абсолютной погрешности при измерении "
    "отклонения напряжения переменного тока</B></CAPTION>",
    "<TH ROWSPAN=2>Абсолютная погрешность измерения, %</TH>",
    "<TH ROWSPAN=2>Предел допускаемой абсолютной погрешности измерения, %</TH>",
    "<TH>Заданное отклонение напряжения, %</TH>", "<TH>Измеренное отклонение напряжения, %</TH>"};

const ResultTableTexts Table2 = {
    "<CAPTION ALIGN=LEFT><B>Таблица 2. Определение абсолютной погрешности измерения отклонения "
    "частоты переменного тока</B></CAPTION>",
    "<TH ROWSPAN=2>Абсолютная погрешность измерения, Гц</TH>",
    "<TH ROWSPAN=2>Предел допускаемой абсолютной погрешности измерения, Гц</TH>",
    "<TH>Заданное отклонение частоты, Гц</TH>", "<TH>Измеренное отклонение частоты, Гц</TH>"};

const ResultTableTexts Table4 = {
    "<CAPTION ALIGN=LEFT><B>Таблица 4. Определение абсолютной погрешности регистратора при "
    "измерении глубины провала напряжения &delta;U<SUB>n</SUB>, %</B></CAPTION>",
    "<TH ROWSPAN=2>Абсолютная погрешность измерения &delta;U<SUB>n</SUB></TH>",
    "<TH ROWSPAN=2>Предел абсолютной погрешности измерения &delta;U<SUB>n</SUB></TH>",
    "<TH>Установленное значение &delta;U<SUB>n</SUB></TH>",
    "<TH>Измеренное значение &delta;U<SUB>n</SUB></TH>"};

const ResultTableTexts Table5 = {
    "<CAPTION ALIGN=LEFT><B>Таблица 5. Определение абсолютной погрешности регистратора при "
    "измерении длительности провала напряжения &Delta;t<SUB>n</SUB>, мс</B></CAPTION>",
    "<TH ROWSPAN=2>Абсолютная погрешность измерения &Delta;t<SUB>n</SUB></TH>",
    "<TH ROWSPAN=2>Предел абсолютной погрешности измерения &Delta;t<SUB>n</SUB></TH>",
    "<TH>Установленное значение &Delta;t<SUB>n</SUB></TH>",
    "<TH>Измеренное значение &Delta;t<SUB>n</SUB></TH>"};

const ResultTableTexts Table6 = {
    "<CAPTION ALIGN=LEFT><B>Таблица 6. Определение абсолютной погрешности регистратора при "
    "измерении коэффициента временного перенапряжения K<SUB>перU</SUB></B></CAPTION>",
    "<TH ROWSPAN=2>Абсолютная погрешность измерения K<SUB>перU</SUB></TH>",
    "<TH ROWSPAN=2>Предел абсолютной погрешности измерения K<SUB>перU</SUB></TH>",
    "<TH>Установленное значение K<SUB>перU</SUB></TH>",
    "<TH>Измеренное значение K<SUB>перU</SUB></TH>"};

const ResultTableTexts Table7 = {
    "<CAPTION ALIGN=LEFT><B>Таблица 7. Определение абсолютной погрешности регистратора при "
    "измерении длительности временного перенапряжения &Delta;t<SUB>пер</SUB>, мс</B></CAPTION>",
    "<TH ROWSPAN=2>Абсолютная погрешность измерения &Delta;t<SUB>пер</SUB></TH>",
    "<TH ROWSPAN=2>Предел абсолютной погрешности измерения &Delta;t<SUB>пер</SUB></TH>",
    "<TH>Установленное значение &Delta;t<SUB>пер</SUB></TH>",
    "<TH>Измеренное значение &Delta;t<SUB>пер</SUB></TH>"};

using SignalField = float SignalRecord::*;
using EventField = float EventSignalRecord::*;

std::vector<ResultTableRow> SignalRows(const std::array<SignalRecord, SignalCount>& steady,
                                       SignalField set, SignalField meas, SignalField err) {
    std::vector<ResultTableRow> rows;
    for (int i = 0; i < SignalCount; ++i) {
        const SignalRecord& r = steady[i];
        if (r.measured) rows.push_back({i + 1, r.*set, r.*meas, r.*err});
    }
    return rows;
}

// Tables 4 and 5 show the dips, 6 and 7 the temporary overvoltages.
enum class EventKind { Swells, Dips };

std::vector<ResultTableRow> EventRows(const std::array<EventSignalRecord, EventSignalCount>& events,
                                      EventKind kind, EventField set, EventField meas,
                                      EventField err) {
    std::vector<ResultTableRow> rows;
    for (int i = 0; i < EventSignalCount; ++i) {
        const EventSignalRecord& r = events[i];
        if (r.measured && IsSwell(i) == (kind == EventKind::Swells))
            rows.push_back({i + 1, r.*set, r.*meas, r.*err});
    }
    return rows;
}

} // namespace

ProtocolLimits CurrentProtocolLimits() {
    return {LimitDeviationU,  LimitDeviationF, LimitHarmonicAbs,  LimitHarmonicRel,
            LimitSwellFactor, LimitDipDepth,   LimitEventDuration};
}

bool AppendResultTable(ProtocolLines& lines, const ResultTableTexts& texts,
                       const std::vector<ResultTableRow>& rows, float limit, int decimals) {
    AppendCommonHeader(lines, texts);
    bool pass = true;
    for (const ResultTableRow& row : rows)
        pass = AppendCommonRow(lines, row, limit, decimals) && pass;
    lines.push_back("</TABLE>");
    if (!rows.empty())
        lines.push_back(std::string("<BR>") + VerdictText + (pass ? PassText : FailText));
    return pass;
}

bool AppendHarmonicTable(ProtocolLines& lines, const std::vector<const SignalRecord*>& measured,
                         float limitAbs, float limitRel) {
    bool pass = true;
    const int pages = static_cast<int>((measured.size() + 1) / 2);
    for (int page = 0; page < pages; ++page)
        pass = AppendHarmonicPage(lines, measured, page, limitAbs, limitRel) && pass;
    return pass;
}

bool AppendResultTables(ProtocolLines& lines, const std::array<SignalRecord, SignalCount>& steady,
                        const std::array<EventSignalRecord, EventSignalCount>& events,
                        const ProtocolLimits& limits) {
    using S = SignalRecord;
    using E = EventSignalRecord;
    std::vector<const SignalRecord*> measured;
    for (const SignalRecord& r : steady)
        if (r.measured) measured.push_back(&r);

    bool pass = AppendResultTable(
        lines, Table1, SignalRows(steady, &S::setDeviationU, &S::measDeviationU, &S::errDeviationU),
        limits.deviationU, 2);
    pass = AppendResultTable(
               lines, Table2,
               SignalRows(steady, &S::setDeviationF, &S::measDeviationF, &S::errDeviationF),
               limits.deviationF, 3) &&
           pass;
    pass = AppendHarmonicTable(lines, measured, limits.harmonicAbs, limits.harmonicRel) && pass;
    const auto table = [&](const ResultTableTexts& texts, EventKind kind, EventField set,
                           EventField meas, EventField err, float limit) {
        return AppendResultTable(lines, texts, EventRows(events, kind, set, meas, err), limit, 3);
    };
    constexpr EventKind Dips = EventKind::Dips;
    constexpr EventKind Swells = EventKind::Swells;
    pass = table(Table4, Dips, &E::setLevel, &E::measLevel, &E::errLevel, limits.dipDepth) && pass;
    pass = table(Table5, Dips, &E::setDuration, &E::measDuration, &E::errDuration,
                 limits.eventDuration) &&
           pass;
    pass = table(Table6, Swells, &E::setLevel, &E::measLevel, &E::errLevel, limits.swellFactor) &&
           pass;
    pass = table(Table7, Swells, &E::setDuration, &E::measDuration, &E::errDuration,
                 limits.eventDuration) &&
           pass;
    return pass;
}
