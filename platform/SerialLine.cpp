#include "platform/SerialLine.h"

namespace plat {

namespace {

tcflag_t SizeFlag(BYTE byteSize) {
    switch (byteSize) {
    case 5:
        return CS5;
    case 6:
        return CS6;
    case 7:
        return CS7;
    default:
        return CS8;
    }
}

tcflag_t ParityFlags(BYTE parity) {
    switch (parity) {
    case ODDPARITY:
        return PARENB | PARODD;
    case EVENPARITY:
        return PARENB;
    case MARKPARITY:
        return PARENB | CMSPAR | PARODD;
    case SPACEPARITY:
        return PARENB | CMSPAR;
    default:
        return 0;
    }
}

// Standard rates keep their termios constant (what other tools show); any other rate is set
// as an arbitrary one.
tcflag_t SpeedFlag(DWORD baud) {
    static constexpr struct {
        DWORD rate;
        tcflag_t flag;
    } Rates[] = {{110, B110},       {300, B300},      {600, B600},       {1200, B1200},
                 {2400, B2400},     {4800, B4800},    {9600, B9600},     {19200, B19200},
                 {38400, B38400},   {57600, B57600},  {115200, B115200}, {230400, B230400},
                 {460800, B460800}, {921600, B921600}};
    for (const auto& r : Rates)
        if (r.rate == baud) return r.flag;
    return BOTHER;
}

} // namespace

termios2 TermiosFromDcb(const DCB& dcb) {
    termios2 t{};
    t.c_iflag = IGNBRK;
    if (dcb.Flags & DCB_OUTX) t.c_iflag |= IXON;
    if (dcb.Flags & DCB_INX) t.c_iflag |= IXOFF;
    if (dcb.Flags & DCB_PARITY) t.c_iflag |= INPCK;
    t.c_cflag = CREAD | CLOCAL | HUPCL | SpeedFlag(dcb.BaudRate) | SizeFlag(dcb.ByteSize) |
                ParityFlags(dcb.Parity);
    if (dcb.StopBits != ONESTOPBIT) t.c_cflag |= CSTOPB;
    const bool rtsHandshake = (dcb.Flags & DCB_RTS_CONTROL_MASK) == DCB_RTS_HANDSHAKE;
    if ((dcb.Flags & DCB_OUTX_CTS_FLOW) || rtsHandshake) t.c_cflag |= CRTSCTS;
    t.c_ispeed = dcb.BaudRate;
    t.c_ospeed = dcb.BaudRate;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    t.c_cc[VSTART] = dcb.XonChar;
    t.c_cc[VSTOP] = dcb.XoffChar;
    return t;
}

DCB DcbFromTermios(const termios2& t) {
    DCB dcb;
    dcb.BaudRate = t.c_ospeed ? t.c_ospeed : 9600;
    switch (t.c_cflag & CSIZE) {
    case CS5:
        dcb.ByteSize = 5;
        break;
    case CS6:
        dcb.ByteSize = 6;
        break;
    case CS7:
        dcb.ByteSize = 7;
        break;
    default:
        dcb.ByteSize = 8;
    }
    if (t.c_cflag & PARENB) {
        const bool odd = t.c_cflag & PARODD;
        if (t.c_cflag & CMSPAR)
            dcb.Parity = odd ? MARKPARITY : SPACEPARITY;
        else
            dcb.Parity = odd ? ODDPARITY : EVENPARITY;
    }
    dcb.StopBits = (t.c_cflag & CSTOPB) ? TWOSTOPBITS : ONESTOPBIT;
    dcb.Flags = DCB_BINARY | DCB_DTR_ENABLE;
    dcb.Flags |= (t.c_cflag & CRTSCTS) ? DCB_OUTX_CTS_FLOW | DCB_RTS_HANDSHAKE : DCB_RTS_ENABLE;
    if (t.c_iflag & IXON) dcb.Flags |= DCB_OUTX;
    if (t.c_iflag & IXOFF) dcb.Flags |= DCB_INX;
    dcb.XonChar = t.c_cc[VSTART];
    dcb.XoffChar = t.c_cc[VSTOP];
    return dcb;
}

} // namespace plat
