#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The station's packets: command texts ("00 01 88"), request packets, reply frames and the
// reply reader that finds, checks and identifies replies in what channel 1 delivers.

// 0..15 for a hexadecimal digit, -1 for anything else.
int HexDigitValue(char c);

// Command text to bytes: two digits make a byte, a third consecutive digit starts the next
// byte, anything else ends a byte. Writes at most `capacity` bytes; returns the number written.
size_t HexTextToBytes(std::string_view text, uint8_t* out, size_t capacity);
std::vector<uint8_t> HexTextToBytes(std::string_view text);

// Each byte as two upper-case hexadecimal digits, joined by the separator (none after the last).
std::string BytesToHex(const uint8_t* data, size_t size, std::string_view separator);
inline std::string BytesToHex(const std::vector<uint8_t>& b, std::string_view separator) {
    return BytesToHex(b.data(), b.size(), separator);
}

// CRC-16 of the station link (CRC component, model mCRC_16_standart).
uint16_t StationCrc(const uint8_t* data, size_t size);

// The last reply frame taken from the received stream.
class TCommand {
public:
    // Looks for a frame at the front of buffer[0..count): drops leading bytes up to a 0x4D,
    // then copies a complete frame ((third byte + 5) mod 256 bytes) and returns its length,
    // or 0 when there is none yet. Lowers count by the bytes it dropped, never by the frame.
    int ExtractFrame(uint8_t* buffer, int& count);
    // Every byte as two upper-case digits followed by one blank.
    std::string FrameText() const;
    void Clear() { data_.clear(); }
    const uint8_t* Data() const { return data_.data(); }
    int32_t Length() const { return static_cast<int32_t>(data_.size()); }
    const std::vector<uint8_t>& Bytes() const { return data_; }

private:
    std::vector<uint8_t> data_;
};

// A request packet built from a command text: 0x4D, length high, length low, payload, CRC
// high, CRC low, 0x00.
struct RequestPacket_T {
    bool ok = false;
    std::vector<uint8_t> bytes;  // N + 6 bytes when ok
    std::string error;           // why nothing may be sent, for the status panel
};

// Work buffer of the sender: the packet must fit it whole.
inline constexpr size_t kWorkBufferSize = 10000;

// Payload bytes that the length announces but the text does not carry are sent as 0x00.
// `rewriteLastPayloadByte`, when given, may change the last payload byte before the CRC.
RequestPacket_T BuildRequestPacket(std::string_view commandText,
                                   const std::function<void(uint8_t&)>& rewriteLastPayloadByte = {});

// The receive side of channel 1 on the window thread: echo suppression, the reply
// accumulation buffer, frame extraction and the reply check.
class TReplyReader {
public:
    enum class Result { Nothing, Frame, ChecksumError };
    struct Read_T {
        Result result = Result::Nothing;
        uint8_t code = 0;           // reply code (frame byte 3) of a good frame
        bool frameExtracted = false;  // the caller purges channel 1's receive side then
        std::string frameText;      // FrameText() of the extracted frame
    };

    static constexpr int kReplyBufferSize = 256;

    // A request went out: its bytes but the trailer are expected back as echo, the frame
    // object and the accumulation buffer are emptied, the reply flag is cleared.
    void RequestSent(const std::vector<uint8_t>& packet);
    // One received block (at most 99 bytes from the channel, any size here).
    Read_T Read(const uint8_t* block, size_t size);

    bool ReplyDone() const { return replyDone_; }
    void SetReplyDone(bool done) { replyDone_ = done; }
    // Empties the accumulation buffer (the sender does so before every request).
    void ResetAccumulation() { count_ = 0; }

    const TCommand& RcdCommand() const { return rcdCommand_; }
    TCommand& RcdCommand() { return rcdCommand_; }
    int AccumulatedCount() const { return count_; }
    int PendingEcho() const { return echoCount_; }

private:
    void Append(const uint8_t* data, size_t size);

    std::array<uint8_t, kReplyBufferSize> buffer_{};
    int count_ = 0;
    std::vector<uint8_t> echoCopy_;
    size_t echoPos_ = 0;
    int echoCount_ = 0;
    bool replyDone_ = true;
    TCommand rcdCommand_;
};
