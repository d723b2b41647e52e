// The serial-port component: one COM port with its line settings, an output and an input ring
// between the application and the device, five worker threads while the port is open, and
// events raised in the GUI thread.
//
// Threads: everything here belongs to the GUI thread except PutBlock, which one other thread
// (the link thread) may call at any time, also while the GUI thread opens or closes the port.
#pragma once

#include "platform/SerialDevice.h"
#include "platform/Sync.h"
#include "platform/Thread.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <vector>

enum TBaudRate : std::uint8_t {
    cbr110,
    cbr300,
    cbr600,
    cbr1200,
    cbr2400,
    cbr4800,
    cbr9600,
    cbr14400,
    cbr19200,
    cbr38400,
    cbr56000,
    cbr57600,
    cbr115200,
    cbr128000,
    cbr256000
};

enum TComControl : std::uint8_t { ccNone, ccSoft, ccHard };
enum TParity : std::uint8_t { paNone, paOdd, paEven, paMark, paSpace };
enum TStopBits : std::uint8_t { sb1_0, sb1_5, sb2_0 };
enum TEventState : std::uint8_t {
    evRxChar,
    evRxEventChar,
    evTxEmpty,
    evCTS,
    evDSR,
    evRlsd,
    evBreak,
    evError,
    evRing
};

// A set of TEventState in 16 bits: element i in bit i.
class TEventStates {
public:
    constexpr TEventStates() = default;
    constexpr TEventStates(std::initializer_list<TEventState> elements) {
        for (TEventState e : elements)
            Include(e);
    }
    constexpr bool Contains(TEventState e) const { return (Bits_ >> e) & 1u; }
    constexpr void Include(TEventState e) { Bits_ = static_cast<std::uint16_t>(Bits_ | (1u << e)); }

private:
    std::uint16_t Bits_ = 0;
};

class TCommPort;
class TStatusThread;
class TReadThread;
class TWriteThread;
class TReadEventThread;
class TStatusEventThread;

using TNotifyEvent = std::function<void(TCommPort* Sender)>;
using TErrorEvent = std::function<void(TCommPort* Sender, int Error)>;
using TDataReceivedEvent = std::function<void(TCommPort* Sender, plat::DWORD Count)>;

// The waits of the worker threads; tests shorten them.
struct TCommPortTiming {
    // The status thread looks at a pending comm-event wait no sooner than this after issuing
    // it, so that bytes arriving close together reach the reader in one wake.
    plat::DWORD StatusPauseMs = 50;
    // While the port closes, a write the device takes no byte of for this long (held by flow
    // control, a far side that reads nothing) is given up and the rest of the output dropped.
    plat::DWORD HeldWriteMs = 1000;
    // Pause after a failed read or write before the next try. A device that is gone (a pulled
    // adapter) is not tried again: what the output ring holds for it is dropped.
    plat::DWORD FailPauseMs = 100;
};

// Head and Used are changed only under the ring's lock; Used is also read without it. Buffer
// and Size are set by OpenPort before the threads start and stay fixed until they have ended.
struct TRing {
    std::unique_ptr<std::uint8_t[]> Buffer;
    std::uint32_t Size = 0;
    std::uint32_t Head = 0;
    std::atomic<std::uint32_t> Used{0};
    // Output ring only: the chunk the writer has in flight, and a count of flushes, so that a
    // flush during a write neither loses the place of later bytes nor lets Used go below 0.
    std::uint32_t InFlight = 0;
    std::uint32_t Flushes = 0;
};

class TCommPort {
public:
    TCommPort();
    ~TCommPort();
    TCommPort(const TCommPort&) = delete;
    TCommPort& operator=(const TCommPort&) = delete;

    // Properties.
    int ComNumber() const { return FComNumber; }
    void SetComNumber(int value);
    void SetOpen(bool value);
    bool DTR() const { return FDTR; }
    void SetDTR(bool value);
    bool RTS() const { return FRTS; }
    void SetRTS(bool value);
    bool CTS() const { return FCTS.load(); }
    bool DSR() const { return FDSR.load(); }
    bool DCD() const { return FDCD.load(); }
    bool Ring() const { return FRing.load(); }
    std::uint32_t InSize() const { return FInSize.load(); }
    void SetIBuffSize(std::uint32_t value);
    std::uint32_t OutSize() const { return FOutSize.load(); }
    void SetOBuffSize(std::uint32_t value);
    std::uint32_t InBuffFree();
    std::uint32_t InBuffUsed() const { return InRing.Used.load(); }
    std::uint32_t OutBuffFree();
    std::uint32_t OutBuffUsed() const { return OutRing.Used.load(); }
    std::int32_t OutQueCount();
    int Baud() const;
    void SetBaud(int value);
    TBaudRate BaudRate() const { return FBaudRate; }
    void SetBaudRate(TBaudRate value);
    TComControl Control() const { return FControl.load(); }
    void SetComControl(TComControl value);
    TParity Parity() const { return FParity; }
    void SetParity(TParity value);
    TStopBits StopBits() const { return FStopBits; }
    void SetStopBits(TStopBits value);
    std::uint16_t DataBits() const { return FDataBits; }
    void SetDataBits(std::uint16_t value);
    std::uint16_t XonLim() const { return FXonLim; }
    void SetXonLim(std::uint16_t value);
    std::uint16_t XoffLim() const { return FXoffLim; }
    void SetXoffLim(std::uint16_t value);
    std::uint8_t XonChar() const { return FXonChar; }
    void SetXonChar(std::uint8_t value);
    std::uint8_t XoffChar() const { return FXoffChar; }
    void SetXoffChar(std::uint8_t value);
    std::uint8_t EventChar() const { return FEventChar; }
    void SetEventChar(std::uint8_t value);

    // Methods.
    void OpenPort();
    void ClosePort();
    bool IsEnabled() const { return PortHandle != nullptr; }
    // The device of the open port went away (a pulled adapter), or the opens that followed have
    // not found it again: the port takes nothing until an open succeeds. Choosing another port
    // number ends it as well.
    bool Lost() const { return FLost || (IsEnabled() && PortHandle->Gone()); }
    std::uint32_t PutBlock(const void* source, std::uint32_t length);
    std::uint32_t GetBlock(void* destination, std::uint32_t length);
    std::uint32_t PutChar(std::uint8_t c);
    std::uint32_t PutString(const char* text);
    std::uint8_t GetChar();
    bool CharReady() const { return InBuffUsed() > 0; }
    void FlushInBuffer();
    void FlushOutBuffer();
    void SendBreak(std::uint16_t ticks);
    bool SetBreak(bool on);
    void PowerOn();
    void PowerOff();
    bool GetModemState(int line);
    void BitsWarning();

    // Writing Open acts only on a change (SetOpen); callers force an open or a close by
    // setting this field to the opposite value first.
    bool Open = false;
    // Takes effect at the next OpenPort.
    TEventStates MonitorEvents;
    TCommPortTiming Timing;

    // Events; the first ten are raised in the GUI thread, OnOpen and OnClose in the thread
    // that opens or closes the port.
    TNotifyEvent OnCTSSignal;
    TNotifyEvent OnDCDSignal;
    TNotifyEvent OnDSRSignal;
    TNotifyEvent OnRxDSignal;
    TNotifyEvent OnRxEventSignal;
    TNotifyEvent OnTxDSignal;
    TNotifyEvent OnRingSignal;
    TNotifyEvent OnBreakSignal;
    TErrorEvent OnErrorSignal;
    TDataReceivedEvent OnDataReceived;
    TErrorEvent OnOpen;
    TNotifyEvent OnClose;

private:
    friend class TStatusThread;
    friend class TReadThread;
    friend class TWriteThread;
    friend class TReadEventThread;
    friend class TStatusEventThread;
    friend class TCommPortTestPeer;

    template <class Change> void ChangeLineState(Change change);
    void ApplyLineSettings();
    bool AllocateRings();
    void ReleaseRings();
    void StartThreads();
    void StopThreads();
    template <class Worker, class Wake> void StopWorker(std::unique_ptr<Worker>& thread, Wake wake);
    template <class EventThread>
    void StopEventThread(std::unique_ptr<EventThread>& thread, plat::Event& wake);
    void ReapThreads(bool wait);
    void TakeModemStatus(plat::DWORD status);

    std::unique_ptr<plat::SerialDevice> PortHandle;
    plat::DCB LineState;
    int FComNumber = 2;
    TBaudRate FBaudRate = cbr9600;
    TParity FParity = paNone;
    std::atomic<TComControl> FControl{ccNone};
    TStopBits FStopBits = sb1_0;
    std::uint16_t FDataBits = 8;
    std::uint16_t FXonLim = 0;
    std::uint16_t FXoffLim = 1024;
    std::uint8_t FXonChar = 0x11;
    std::uint8_t FXoffChar = 0x13;
    std::uint8_t FEventChar = 0;
    // The ring sizes as written; the rings take them at the next OpenPort.
    std::atomic<std::uint32_t> FInSize{2048};
    std::atomic<std::uint32_t> FOutSize{4096};
    std::unique_ptr<TReadThread> ReadThread;
    std::unique_ptr<TWriteThread> WriteThread;
    std::unique_ptr<TStatusThread> StatusThread;
    std::unique_ptr<TReadEventThread> ReadEventThread;
    std::unique_ptr<TStatusEventThread> StatusEventThread;
    bool FDTR = false;
    bool FRTS = false;
    std::atomic<bool> FCTS{false};
    std::atomic<bool> FDSR{false};
    std::atomic<bool> FDCD{false};
    std::atomic<bool> FRing{false};
    std::atomic<plat::DWORD> LastEventMask{0};
    plat::Event ReadEvent{false};
    plat::Event WriteEvent{true};
    plat::Event DataEvent{false};
    plat::Event StatusEvent{false};
    TRing OutRing;
    TRing InRing;
    plat::CriticalSection OutLock;
    plat::CriticalSection InLock;

    // PutBlock runs in another thread than opening, closing and flushing: this lock keeps the
    // ring buffers and the producer's place valid for it, and Accepting says whether the
    // writer is there to send what it takes.
    std::mutex PutLock;
    bool Accepting = false;
    // GUI-thread guards: a close asked for while one runs, and event threads stopped while
    // their handler ran (the close or reopen came from inside it, so they could not be waited
    // for); they end once the handler returns and are deleted later.
    bool Closing = false;
    std::vector<std::unique_ptr<plat::TThread>> EndingThreads;
    // The port was closed with its device gone, and no open has succeeded since.
    bool FLost = false;
};
