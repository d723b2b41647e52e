// The line settings from the component's properties to the kernel's terminal settings: each
// property writes its member of the line-state record, and the record maps to termios.
#include "CommTestSupport.h"
#include "platform/SerialLine.h"

#include <array>

namespace {

class LineSettings : public ScriptedTest {
protected:
    // The terminal settings the open port's current line state stands for.
    termios2 Termios() { return plat::TermiosFromDcb(Line()->Record().dcb); }
};

TEST_F(LineSettings, ParityStopBitsAndDataBits) {
    port.OpenPort();
    const struct {
        TParity parity;
        tcflag_t flags;
    } parities[] = {{paNone, 0},
                    {paOdd, PARENB | PARODD},
                    {paEven, PARENB},
                    {paMark, PARENB | PARODD | CMSPAR},
                    {paSpace, PARENB | CMSPAR}};
    for (const auto& p : parities) {
        port.SetParity(p.parity);
        EXPECT_EQ(Termios().c_cflag & (PARENB | PARODD | CMSPAR), p.flags) << int{p.parity};
        // Parity is generated, never checked: the flags words leave fParity off.
        EXPECT_FALSE(Termios().c_iflag & INPCK);
    }
    const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    for (std::uint16_t bits = 5; bits <= 8; ++bits) {
        port.SetDataBits(bits);
        EXPECT_EQ(Termios().c_cflag & CSIZE, sizes[bits - 5]) << bits;
    }
    port.SetStopBits(sb1_0);
    EXPECT_FALSE(Termios().c_cflag & CSTOPB);
    port.SetStopBits(sb2_0);
    EXPECT_TRUE(Termios().c_cflag & CSTOPB);
    port.SetDataBits(5);
    port.SetStopBits(sb1_5); // 1.5 stop bits exist only with 5 data bits: the line's two
    EXPECT_TRUE(Termios().c_cflag & CSTOPB);
}

TEST_F(LineSettings, TheThreeFlowControlWords) {
    port.OpenPort();
    const struct {
        TComControl control;
        plat::DWORD word;
        tcflag_t iflags;
        bool crtscts;
    } controls[] = {{ccNone, 0x0001, 0, false},
                    {ccSoft, 0x1311, IXON | IXOFF, false},
                    {ccHard, 0x202D, 0, true}};
    port.SetXonChar(0x21);
    port.SetXoffChar(0x23);
    for (const auto& c : controls) {
        port.SetComControl(c.control);
        EXPECT_EQ(Line()->Record().dcb.Flags, c.word);
        const termios2 t = Termios();
        EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY), c.iflags) << c.word;
        EXPECT_EQ((t.c_cflag & CRTSCTS) != 0, c.crtscts) << c.word;
        // Raw in every case: no echo, no line editing, no translation, reads of single bytes.
        EXPECT_EQ(t.c_lflag, 0u);
        EXPECT_EQ(t.c_oflag, 0u);
        EXPECT_EQ(t.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP), 0u);
        EXPECT_EQ(t.c_cc[VMIN], 1);
        EXPECT_EQ(t.c_cc[VSTART], 0x21);
        EXPECT_EQ(t.c_cc[VSTOP], 0x23);
    }
}

// Every rate of the table reaches the kernel exactly: the usual ones by their own constant,
// the others as an arbitrary rate.
TEST_F(LineSettings, TheBaudTable) {
    port.OpenPort();
    const struct {
        TBaudRate rate;
        plat::DWORD baud;
        tcflag_t speed;
    } rates[] = {
        {cbr110, 110, B110},          {cbr300, 300, B300},         {cbr600, 600, B600},
        {cbr1200, 1200, B1200},       {cbr2400, 2400, B2400},      {cbr4800, 4800, B4800},
        {cbr9600, 9600, B9600},       {cbr14400, 14400, BOTHER},   {cbr19200, 19200, B19200},
        {cbr38400, 38400, B38400},    {cbr56000, 56000, BOTHER},   {cbr57600, 57600, B57600},
        {cbr115200, 115200, B115200}, {cbr128000, 128000, BOTHER}, {cbr256000, 256000, BOTHER}};
    for (const auto& r : rates) {
        port.SetBaudRate(r.rate);
        EXPECT_EQ(Line()->Record().dcb.BaudRate, r.baud);
        const termios2 t = Termios();
        EXPECT_EQ(t.c_cflag & CBAUD, r.speed) << r.baud;
        EXPECT_EQ(t.c_ospeed, r.baud);
        EXPECT_EQ(t.c_ispeed, r.baud);
    }
}

// The record read back from the kernel's settings at an open gives the same line again.
TEST(LineSettingsRoundTrip, SettingsFoundAtTheOpenMapBack) {
    plat::DCB dcb;
    dcb.BaudRate = 56000;
    dcb.ByteSize = 7;
    dcb.Parity = plat::MARKPARITY;
    dcb.StopBits = plat::TWOSTOPBITS;
    dcb.Flags = 0x1311;
    const plat::DCB back = plat::DcbFromTermios(plat::TermiosFromDcb(dcb));
    EXPECT_EQ((std::array<unsigned, 4>{back.BaudRate, back.ByteSize, back.Parity, back.StopBits}),
              (std::array<unsigned, 4>{56000, 7, plat::MARKPARITY, plat::TWOSTOPBITS}));
    EXPECT_TRUE((back.Flags & plat::DCB_OUTX) && (back.Flags & plat::DCB_INX));
    dcb.Parity = plat::ODDPARITY;
    EXPECT_EQ(plat::DcbFromTermios(plat::TermiosFromDcb(dcb)).Parity, plat::ODDPARITY);
}

} // namespace
