#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/SerialPort.h"

// A serial line with everything a two-wire RS-485 driver needs beyond plain reads and writes:
// the port's control block, modem-control lines, an immediate character, line events and
// error reports. Bit numbers and codes follow the Windows comm interface, so that the serial
// component above reads the same on every platform.
namespace platform {

// Line events (the Windows comm event mask).
enum CommEvent : uint32_t {
    kEvRxChar = 0x0001,
    kEvRxFlag = 0x0002,
    kEvTxEmpty = 0x0004,
    kEvCts = 0x0008,
    kEvDsr = 0x0010,
    kEvRlsd = 0x0020,
    kEvBreak = 0x0040,
    kEvErr = 0x0080,
    kEvRing = 0x0100,
};

// Line errors (the Windows line-error bits).
enum CommError : uint32_t {
    kCeRxOver = 0x0001,
    kCeOverrun = 0x0002,
    kCeRxParity = 0x0004,
    kCeFrame = 0x0008,
    kCeBreak = 0x0010,
};

// Escape functions (the Windows codes).
enum class CommEscape { SetXoff = 1, SetXon, SetRts, ClrRts, SetDtr, ClrDtr, ResetDev, SetBreak,
                        ClrBreak };

// The port's control block.
struct CommState {
    enum class Flow { None, RtsCts, DtrDsr, XonXoff };
    SerialSettings line;
    uint8_t xonChar = 17, xoffChar = 19, errorChar = 0, eofChar = 0, evtChar = 0;
    uint16_t xonLimit = 1024, xoffLimit = 1024;
    bool parityCheck = false, dsrSensitivity = false, txContinueOnXoff = false,
         errorCharReplace = false, nullDiscard = false;
    bool rtsControlEnable = true;
    Flow flow = Flow::None;
};

// Time-outs in milliseconds (the Windows comm time-outs).
struct CommTimeouts {
    uint32_t readInterval = 0, readMultiplier = 0, readConstant = 0;
    uint32_t writeMultiplier = 0, writeConstant = 0;
};

// Direction control done by the port itself.
struct Rs485Control {
    bool enable = false;
    bool rtsHighOnSend = true;
    uint32_t delayAfterSendMs = 0;
};

class CommLine {
public:
    enum class OpenResult { Opened, Failed, NotCharacterDevice };

    virtual ~CommLine() = default;

    // Exclusive, for reading and writing. LastError() tells why it failed.
    virtual OpenResult Open(const std::string& name) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // System error code of the last failure on the owner's side.
    virtual int LastError() const = 0;

    virtual bool SetQueueSizes(uint32_t input, uint32_t output) = 0;
    virtual bool SetTimeouts(const CommTimeouts& timeouts) = 0;
    virtual bool SetState(const CommState& state) = 0;
    virtual bool Escape(CommEscape function) = 0;
    // False when the port cannot switch its driver by itself.
    virtual bool SetRs485(const Rs485Control& control) = 0;

    // One byte ahead of anything queued.
    virtual bool TransmitImmediate(uint8_t byte) = 0;
    // Returns once everything queued for output has been sent.
    virtual bool Flush() = 0;
    // What the driver took within waitMs (0: take what fits now), -1 on an error.
    virtual long Write(const uint8_t* data, size_t size, int waitMs) = 0;
    // What arrived within waitMs, at most max bytes; 0 when nothing came, -1 on an error.
    virtual long Read(uint8_t* buffer, size_t max, int waitMs) = 0;
    virtual long InQueue() = 0;
    virtual long OutQueue() = 0;
    virtual bool Purge(bool input, bool output) = 0;
    // The error bits gathered since the last call; taking them clears them.
    virtual uint32_t TakeErrors() = 0;

    // Events are waited for by one thread while the owner uses the line from another.
    virtual bool SetEventMask(uint32_t mask) = 0;
    // Blocks until one or more of the masked events occur and returns them; 0 when woken.
    virtual uint32_t WaitEvents() = 0;
    // Ends the current or the next WaitEvents with 0. Safe from any thread.
    virtual void WakeEvents() = 0;
};

std::unique_ptr<CommLine> MakeCommLine();

// Asks the scheduler to favour the calling thread; quietly keeps the normal priority where the
// process may not raise it.
void RaiseThreadPriority();

}  // namespace platform
