#include "rsmanager/TrafficJournal.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace {
// Long enough for a reader copying one chunk of frames, short against a frame's time on the
// line at 115200 baud.
constexpr auto kAddWait = std::chrono::milliseconds(2);

int64_t WallMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

int64_t MonoUs() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}
}  // namespace

TTrafficJournal::TTrafficJournal(size_t slots, size_t bytes)
    : slots_(new Slot[std::max<size_t>(slots, 1)]),
      slotCount_(std::max<size_t>(slots, 1)),
      bytes_(new uint8_t[std::max<size_t>(bytes, 1)]),
      bytesSize_(std::max<size_t>(bytes, 1)) {}

TTrafficJournal::Stamp_T TTrafficJournal::Now() { return {WallMs(), MonoUs()}; }

void TTrafficJournal::Add(uint8_t channel, JournalDir dir, const uint8_t* data, size_t size, bool accepted) {
    const Stamp_T now = Now();
    AddAt(channel, dir, data, size, accepted, now.wallMs, now.monoUs);
}

void TTrafficJournal::AddAt(uint8_t channel, JournalDir dir, const uint8_t* data, size_t size,
                            bool accepted, int64_t wallMs, int64_t monoUs) {
    std::unique_lock<TimedMutex> lock(mutex_, std::defer_lock);
    if (!lock.try_lock_for(kAddWait)) {
        // The frame's sequence number is not taken, so a reader cannot tell the gap from the
        // ring's own forgetting; the count tells it instead.
        missed_.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    const uint32_t stored = static_cast<uint32_t>(
        std::min<size_t>({size, kMaxStoredFrame, bytesSize_}));
    Slot& s = slots_[next_ % slotCount_];
    s.seq = next_++;
    s.wallMs = wallMs;
    s.monoUs = monoUs;
    s.pos = bytePos_;
    s.size = static_cast<uint32_t>(std::min<size_t>(size, UINT32_MAX));
    s.stored = stored;
    s.channel = channel;
    s.dir = dir;
    s.accepted = accepted;
    if (stored > 0) {
        const size_t at = bytePos_ % bytesSize_;
        const size_t first = std::min<size_t>(stored, bytesSize_ - at);
        std::memcpy(bytes_.get() + at, data, first);
        if (first < stored) std::memcpy(bytes_.get(), data + first, stored - first);
        bytePos_ += stored;
    }
}

bool TTrafficJournal::HeldLocked(const Slot& s) const {
    // A slot is reused after slotCount_ frames; its bytes are gone once the write head has
    // gone a whole ring past their start.
    return s.seq >= cleared_ && s.seq + slotCount_ >= next_ && bytePos_ - s.pos <= bytesSize_;
}

uint64_t TTrafficJournal::FirstHeldLocked() const {
    uint64_t first = std::max<uint64_t>(cleared_, next_ > slotCount_ ? next_ - slotCount_ : 0);
    // Frames leave in the order they came, so the first one still held is found by stepping
    // past those whose bytes were overwritten; there are few of them (only large frames evict
    // several slots' worth of bytes).
    while (first < next_ && !HeldLocked(slots_[first % slotCount_])) ++first;
    return first;
}

uint64_t TTrafficJournal::NextSeq() const {
    std::lock_guard lock(mutex_);
    return next_;
}

uint64_t TTrafficJournal::FirstHeld() const {
    std::lock_guard lock(mutex_);
    return FirstHeldLocked();
}

std::vector<JournalFrame_T> TTrafficJournal::Read(uint64_t from, size_t max) const {
    std::vector<JournalFrame_T> out;
    std::lock_guard lock(mutex_);
    uint64_t seq = std::max(from, FirstHeldLocked());
    out.reserve(static_cast<size_t>(std::min<uint64_t>(max, next_ > seq ? next_ - seq : 0)));
    for (; seq < next_ && out.size() < max; ++seq) {
        const Slot& s = slots_[seq % slotCount_];
        JournalFrame_T f;
        f.seq = s.seq;
        f.wallMs = s.wallMs;
        f.monoUs = s.monoUs;
        f.channel = s.channel;
        f.dir = s.dir;
        f.accepted = s.accepted;
        f.size = s.size;
        f.bytes.resize(s.stored);
        const size_t at = s.pos % bytesSize_;
        const size_t first = std::min<size_t>(s.stored, bytesSize_ - at);
        if (s.stored > 0) {
            std::memcpy(f.bytes.data(), bytes_.get() + at, first);
            if (first < s.stored) std::memcpy(f.bytes.data() + first, bytes_.get(), s.stored - first);
        }
        out.push_back(std::move(f));
    }
    return out;
}

uint64_t TTrafficJournal::Missed() const { return missed_.load(std::memory_order_relaxed); }

void TTrafficJournal::Clear() {
    std::lock_guard lock(mutex_);
    cleared_ = next_;
}
