#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// One programming or reading run of the board's EEPROM, without the window: the settings file
// in 64-byte blocks, the write and read packets, the comparison of each answered block, the
// read-back file, and the bounded repeat of a block that stays unanswered.
class TPzuSession {
public:
    static constexpr int kBlockSize = 64;
    static constexpr int kBlocks = 512;
    static constexpr long kLastBlock = 32704;  // address of the last block, 0x7FC0
    static constexpr long kFullLength = 32768;
    static constexpr long kShortLength = 29;
    // An unanswered block goes again after this many ticks, at most this many times; then the
    // operator is asked whether to give up.
    static constexpr int kRepeatAfterTicks = 5;
    static constexpr int kMaxRepeats = 3;

    TPzuSession() = default;
    ~TPzuSession() { CloseFiles(); }
    TPzuSession(const TPzuSession&) = delete;
    TPzuSession& operator=(const TPzuSession&) = delete;

    // The settings file; false with the reason when it cannot be opened.
    bool OpenSettings(const std::string& path, std::string& error);
    // The read-back file beside it: the settings path with the extension ".A0", truncated.
    bool OpenReadBack(const std::string& settingsPath);
    static std::string ReadBackPath(const std::string& settingsPath);
    bool SettingsOpen() const { return settings_ != nullptr; }
    bool ReadBackOpen() const { return readBack_ != nullptr; }
    void CloseFiles();
    // A file programming can use: 32768 or 29 bytes. Otherwise the message naming its length.
    bool LengthUsable(std::string& error) const;
    long Position() const;
    // The settings file is at its end for this run's purpose: past the last block, or the 29
    // bytes of a short file read.
    bool AtEnd() const;

    void Start(bool programming);
    bool Programming() const { return programming_; }

    enum class Tick { Waiting, Send, Repeat, AskGiveUp, Finished };
    struct TickResult_T {
        Tick what = Tick::Waiting;
        uint16_t address = 0;
        std::vector<uint8_t> packet;  // Send and Repeat
    };
    // One tick of the block timer.
    TickResult_T OnTick();

    struct Answer_T {
        uint16_t address = 0;
        int firstDifference = -1;  // index 0..63 of the first byte unlike the block, -1 for none
        bool foreign = false;      // not the current block's address: nothing compared or kept
        std::array<uint8_t, kBlockSize> bytes{};
    };
    // A 0x1A answer's 68 data bytes (device, address high, address low, count, 64 bytes).
    Answer_T OnAnswer(const uint8_t* data68);
    // The operator chose to keep waiting after the give-up question.
    void KeepWaiting() { repeats_ = 0, silentTicks_ = 0; }

    bool Answered() const { return answered_; }
    void SetAnswered(bool a) { answered_ = a; }
    int ErrorCount() const { return errorCount_; }
    int BlockCounter() const { return blockCounter_; }
    void ResetBlockCounter() { blockCounter_ = 0; }
    const std::array<uint8_t, kBlockSize>& Block() const { return block_; }

    static std::vector<uint8_t> WritePacket(uint16_t address, const uint8_t* data64);
    static std::vector<uint8_t> ReadPacket(uint16_t address);

private:
    std::FILE* settings_ = nullptr;
    std::FILE* readBack_ = nullptr;
    long settingsLength_ = 0;
    bool programming_ = true;
    bool answered_ = true;
    int errorCount_ = 0;
    int blockCounter_ = 0;
    int silentTicks_ = 0;
    int repeats_ = 0;
    std::vector<uint8_t> lastPacket_;
    long blockAddress_ = -1;  // of the block sent last, -1 before the first
    std::array<uint8_t, kBlockSize> block_{};
};
