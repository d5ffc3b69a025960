#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include "rsmanager/TimedMutex.h"

// What went over the serial lines, frame by frame, with the time each frame was written or
// cut from the input. The manager's threads add to it; the window thread reads it to show and
// save. It holds the last frames only: a fixed ring of frame slots and a fixed ring of bytes,
// both allocated once, so that a stand running for weeks keeps a flat memory.
enum class JournalDir : uint8_t { Out = 0, In = 1 };

struct JournalFrame_T {
    uint64_t seq = 0;        // 0, 1, 2, ... for the journal's whole life
    int64_t wallMs = 0;      // system clock, milliseconds since 1970 (UTC)
    int64_t monoUs = 0;      // steady clock, microseconds
    uint8_t channel = 0;     // 1: station, 2: I/O modules
    JournalDir dir = JournalDir::Out;
    // In: the receiver's framer took the frame (false: it rejected it, e.g. a bad checksum).
    // Out: the port took all its bytes (false: the write failed or timed out).
    bool accepted = true;
    uint32_t size = 0;       // the frame's length on the line; bytes may hold fewer
    std::vector<uint8_t> bytes;
};

class TTrafficJournal {
public:
    // Guaranteed: the last kMinFrames frames of up to kBytes / kMinFrames bytes each.
    static constexpr size_t kMinFrames = 100000;
    static constexpr size_t kSlots = 131072;           // 2^17
    static constexpr size_t kBytes = 16u << 20;        // 16 MiB
    static constexpr uint32_t kMaxStoredFrame = 4096;  // longer frames keep their head

    TTrafficJournal(size_t slots = kSlots, size_t bytes = kBytes);
    TTrafficJournal(const TTrafficJournal&) = delete;
    TTrafficJournal& operator=(const TTrafficJournal&) = delete;

    // From any thread. Never waits long: when a reader holds the journal past the add wait,
    // the frame is counted as missed instead of stalling the line.
    void Add(uint8_t channel, JournalDir dir, const uint8_t* data, size_t size, bool accepted);
    // Both clocks now, for a frame whose entry is made a moment later.
    struct Stamp_T {
        int64_t wallMs, monoUs;
    };
    static Stamp_T Now();
    // A frame with given times (taken with Now(), or a test's own).
    void AddAt(uint8_t channel, JournalDir dir, const uint8_t* data, size_t size, bool accepted,
               int64_t wallMs, int64_t monoUs);

    // The sequence number the next frame will get.
    uint64_t NextSeq() const;
    // The oldest frame still held (NextSeq() when the journal is empty).
    uint64_t FirstHeld() const;
    // Frames with seq >= from that are still held, oldest first, at most max of them.
    std::vector<JournalFrame_T> Read(uint64_t from, size_t max) const;
    // Frames that could not be added because the journal was busy.
    uint64_t Missed() const;
    // Forgets every frame; sequence numbers go on.
    void Clear();

    size_t SlotCapacity() const { return slotCount_; }
    size_t ByteCapacity() const { return bytesSize_; }

private:
    // Trivial on purpose: the ring is allocated without being written, so a journal that
    // never fills costs only the pages its frames have touched.
    struct Slot {
        uint64_t seq;
        int64_t wallMs;
        int64_t monoUs;
        uint64_t pos;  // where its bytes start in the byte ring (running count)
        uint32_t size;
        uint32_t stored;
        uint8_t channel;
        JournalDir dir;
        bool accepted;
    };
    bool HeldLocked(const Slot& s) const;
    uint64_t FirstHeldLocked() const;

    mutable TimedMutex mutex_;
    std::unique_ptr<Slot[]> slots_;
    size_t slotCount_;
    std::unique_ptr<uint8_t[]> bytes_;  // left uninitialised: pages are touched as they fill
    size_t bytesSize_;
    uint64_t next_ = 0;      // seq of the next frame
    uint64_t bytePos_ = 0;   // running count of bytes written to the byte ring
    uint64_t cleared_ = 0;   // frames below this seq were forgotten by Clear
    std::atomic<uint64_t> missed_{0};
};
