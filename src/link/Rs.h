#pragma once

#include <atomic>
#include <bitset>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#include "link/CommThread485.h"
#include "platform/CommLine.h"

enum parities { paNone, paOdd, paEven, paMark, paSpace };
enum stopbits { sb10, sb15, sb20 };
// RTS level while sending.
enum TSend { crHigh, crLow };
enum TFlowControl { fcNone, fcCTS, fcDTR, fcSoftware, fcDefault };
// Bit k of the line's event mask is element k.
enum commevents { evRxChar, evRxFlag, evTxEmpty, evCTS, evDSR, evRLSD, evBreak, evError, evRing };
using TCommEvents = std::bitset<9>;
// Checks and replacements the port's control block may switch on.
enum TRsOption { roParityCheck, roDsrSensitivity, roTxContinueOnXoff, roErrorChar, roNullDiscard };
using TRsOptions = std::bitset<5>;

// What the component raises; the text is the operator's, the code the system's error code
// (0 where there is none).
class ERsError : public std::runtime_error {
public:
    ERsError(const std::string& text, int code) : std::runtime_error(text), code_(code) {}
    int Code() const { return code_; }

private:
    int code_;
};

// A serial port for two-wire RS-485 lines: reads and writes with time-outs, line events on the
// owner's thread, RTS turned between sending and receiving, and a 9-bit "NET" mode whose first
// byte of every write goes out with mark parity as an address byte and the rest with space
// parity. Reads and writes may come from any thread; events arrive through the dispatcher.
class TRS {
public:
    using TNotifyEvent = std::function<void(TRS* Sender)>;
    using TErrorEvent = std::function<void(TRS* Sender, uint32_t Errors)>;
    using TRxCharEvent = std::function<void(TRS* Sender, long Count)>;

    explicit TRS(std::unique_ptr<platform::CommLine> line = platform::MakeCommLine());
    ~TRS();
    TRS(const TRS&) = delete;
    TRS& operator=(const TRS&) = delete;

    // Published properties.
    const std::string& DeviceName() const { return deviceName_; }
    void SetDeviceName(const std::string& v) { deviceName_ = v; }
    uint32_t BaudRate() const { return baudRate_; }
    void SetBaudRate(uint32_t v);
    parities Parity() const { return parity_; }
    void SetParity(parities v);
    stopbits Stopbits() const { return stopbits_; }
    void SetStopbits(stopbits v);
    uint8_t Databits() const { return databits_; }
    void SetDatabits(uint8_t v);
    int ReadTimeout() const { return readTimeout_; }
    void SetReadTimeout(int ms) { readTimeout_ = ms; }
    int WriteTimeout() const { return writeTimeout_; }
    void SetWriteTimeout(int ms) { writeTimeout_ = ms; }
    uint32_t ReadBufSize() const { return readBufSize_; }
    void SetReadBufSize(uint32_t v);
    uint32_t WriteBufSize() const { return writeBufSize_; }
    void SetWriteBufSize(uint32_t v);
    TCommEvents MonitorEvents() const { return monitorEvents_; }
    void SetMonitorEvents(TCommEvents v);
    uint8_t XOnChar() const { return xonChar_; }
    void SetXOnChar(uint8_t v);
    uint8_t XOffChar() const { return xoffChar_; }
    void SetXOffChar(uint8_t v);
    uint8_t ErrorChar() const { return errorChar_; }
    void SetErrorChar(uint8_t v);
    uint8_t EofChar() const { return eofChar_; }
    void SetEofChar(uint8_t v);
    uint8_t EvtChar() const { return evtChar_; }
    void SetEvtChar(uint8_t v);
    TFlowControl FlowControl() const { return flowControl_; }
    void SetFlowControl(TFlowControl v);
    TRsOptions Options() const { return options_; }
    void SetOptions(TRsOptions v);
    bool Is485() const { return is485_; }
    void SetIs485(bool v);
    bool IsNET() const { return isNet_; }
    void SetIsNET(bool v) { isNet_ = v; }
    TSend RTSSEND() const { return rtsSend_; }
    void SetRTSSEND(TSend v);
    long RTSMainTimeout() const { return rtsMainTimeout_; }
    void SetRTSMainTimeout(long us);
    long RTSConstTimeout() const { return rtsConstTimeout_; }
    void SetRTSConstTimeout(long us);

    // Hooks, called on the owner's thread. Assign them before Open. Without a dispatcher they
    // run on the event thread and must not close the port.
    TNotifyEvent OnBreak, OnCts, OnDsr, OnRing, OnRlsd, OnRxFlag, OnTxEmpty;
    TErrorEvent OnError;
    TRxCharEvent OnRxChar;
    // How events reach the owner's thread (see TRsDispatcher); set before Open.
    void SetDispatcher(TRsDispatcher d) { dispatcher_ = std::move(d); }

    void Open();
    void Close();
    bool Enabled() const;
    void SetEnabled(bool on);

    // Bytes written, or -1 when a long write did not complete within WriteTimeout.
    long Write(const void* buffer, long count);
    // Bytes read, or -1 when none came within ReadTimeout.
    long Read(void* buffer, long count);
    // Bytes in the driver's queues; -1 when closed.
    long InQueCount();
    long OutQueCount();
    void PurgeIn();
    void PurgeOut();
    // The line's error bits, cleared by reading them.
    uint32_t GetRsErr();

    void LineOnSend();
    void LineOnReseive();
    void RTS(bool on);
    void SetDTRState(bool on);
    void SetRTSState(bool on);
    void EscapeComm(platform::CommEscape function);
    // Mark parity for an address byte, space parity for the data that follows.
    void DTROnADR();
    void DTROnInf();
    void UpdateDCB();
    // The event mask of MonitorEvents, and the one the event thread waits with: transmit-empty
    // is always watched while this component turns the line round itself.
    uint32_t GetEvents() const;
    uint32_t GetEventsTx() const;

    void Lock() { lock_.lock(); }
    void Unlock() { lock_.unlock(); }

    // One character's time in µs (10 bits), the RTS hold time after the last byte, the
    // time-outs given to the port.
    long CharTime() const { return charTime_; }
    long HoldTime() const { return holdTime_; }
    const platform::CommTimeouts& Timeouts() const { return timeouts_; }
    // True while the port itself turns the line round (RS-485 mode of the driver).
    bool DriverTurnsLine() const { return driverTurnsLine_; }
    // What the last event handling failed with (a hook's exception, a line that would not turn).
    std::string EventError() const;

    // The event handling, as the event thread's dispatch runs it on the owner's thread.
    void HandleEvents(uint32_t events);

private:
    void ApplyBaudTimeouts();
    void ApplyDirection();
    void WriteState(bool rtsControlEnable);
    void SetParityState(parities p);
    void UpdateIfOpen();
    void HandleGuarded(uint32_t events);
    platform::CommState BuildState(bool rtsControlEnable) const;
    [[noreturn]] void Raise(const std::string& text) const;

    std::unique_ptr<platform::CommLine> line_;
    std::unique_ptr<TCommThread485> thread_;
    TRsDispatcher dispatcher_;
    mutable std::recursive_mutex lock_;
    // Guards the control block's fields, which the event handling reads on its own thread.
    mutable std::mutex stateMutex_;

    std::string deviceName_ = "COM2";
    uint32_t baudRate_ = 9600;
    parities parity_ = paNone;
    stopbits stopbits_ = sb10;
    uint8_t databits_ = 8;
    int readTimeout_ = 100;
    int writeTimeout_ = 100;
    uint32_t readBufSize_ = 4096;
    uint32_t writeBufSize_ = 2048;
    TCommEvents monitorEvents_ = TCommEvents().set();
    uint8_t xonChar_ = 17, xoffChar_ = 19, errorChar_ = 0, eofChar_ = 0, evtChar_ = 0;
    TFlowControl flowControl_ = fcDefault;
    TRsOptions options_;
    bool is485_ = false;
    bool isNet_ = false;
    TSend rtsSend_ = crHigh;
    long rtsMainTimeout_ = 0;
    long rtsConstTimeout_ = 0;

    long charTime_ = 0;
    long holdTime_ = 0;
    platform::CommTimeouts timeouts_;
    std::atomic<bool> driverTurnsLine_{false};
    // Lets a transmit-empty turn the line to receiving; cleared before an address byte, whose
    // own transmit-empty must pass without ending the frame.
    std::atomic<bool> txPass_{true};
    mutable std::mutex eventErrorMutex_;
    std::string eventError_;
};
