#include "link/StationCodec.h"

#include <algorithm>
#include <cstring>

#include "link/Crc.h"

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

size_t HexTextToBytes(std::string_view text, uint8_t* out, size_t capacity) {
    size_t written = 0;
    int pending = 0;
    int digits = 0;
    auto emit = [&] {
        if (written < capacity) out[written++] = static_cast<uint8_t>(pending);
    };
    for (char c : text) {
        const int d = HexDigitValue(c);
        if (d < 0) {
            if (digits != 0) emit();
            digits = 0;
        } else if (digits == 0) {
            pending = d;
            digits = 1;
        } else if (digits == 1) {
            pending = pending * 16 + d;
            digits = 2;
        } else {
            emit();
            pending = d;
            digits = 1;
        }
    }
    if (digits != 0) emit();
    return written;
}

std::vector<uint8_t> HexTextToBytes(std::string_view text) {
    std::vector<uint8_t> out(text.size() / 2 + 1);
    out.resize(HexTextToBytes(text, out.data(), out.size()));
    return out;
}

std::string BytesToHex(const uint8_t* data, size_t size, std::string_view separator) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string s;
    s.reserve(size * (2 + separator.size()));
    for (size_t i = 0; i < size; ++i) {
        if (i > 0) s.append(separator);
        s.push_back(kDigits[data[i] >> 4]);
        s.push_back(kDigits[data[i] & 0x0F]);
    }
    return s;
}

uint16_t StationCrc(const uint8_t* data, size_t size) {
    TCRC crc;
    crc.SetModel(mCRC_16_standart);
    crc.Cm_Ini();
    crc.Cm_Blk(data, size);
    return static_cast<uint16_t>(crc.Cm_CRC());
}

int TCommand::ExtractFrame(uint8_t* buffer, int& count) {
    if (count <= 4) return 0;
    int skip = 0;
    while (skip < count && buffer[skip] != 0x4D) ++skip;
    if (skip > 0) {
        std::memmove(buffer, buffer + skip, static_cast<size_t>(count - skip));
        count -= skip;
    }
    if (count < 6 || buffer[1] != 0x00) return 0;
    const int length = (buffer[2] + 5) % 256;
    if (count < length) return 0;
    data_.assign(buffer, buffer + length);
    return length;
}

std::string TCommand::FrameText() const {
    std::string s = BytesToHex(data_.data(), data_.size(), " ");
    if (!data_.empty()) s.push_back(' ');
    return s;
}

RequestPacket_T BuildRequestPacket(std::string_view commandText,
                                   const std::function<void(uint8_t&)>& rewriteLastPayloadByte) {
    RequestPacket_T r;
    // The text goes into the work buffer from its second byte on, behind the start byte.
    std::vector<uint8_t> work(kWorkBufferSize, 0);
    work[0] = 0x4D;
    HexTextToBytes(commandText, work.data() + 1, work.size() - 1);
    const size_t n = work[1] * 256u + work[2];
    if (n + 6 > kWorkBufferSize) {
        r.error = "Команда не отправлена: длина " + std::to_string(n) +
                  " байт больше допустимой (" + std::to_string(kWorkBufferSize - 6) + ")";
        return r;
    }
    // Bytes the length announces but the text lacks stay 0x00 (the work buffer is zeroed),
    // instead of whatever an earlier command left there.
    if (rewriteLastPayloadByte && n > 0) rewriteLastPayloadByte(work[2 + n]);
    const uint16_t crc = StationCrc(work.data(), n + 3);
    work[3 + n] = static_cast<uint8_t>(crc >> 8);
    work[4 + n] = static_cast<uint8_t>(crc & 0xFF);
    work[5 + n] = 0x00;
    r.bytes.assign(work.begin(), work.begin() + static_cast<long>(n + 6));
    r.ok = true;
    return r;
}

void TReplyReader::RequestSent(const std::vector<uint8_t>& packet) {
    rcdCommand_.Clear();
    echoCopy_ = packet;
    echoPos_ = 0;
    echoCount_ = packet.empty() ? 0 : static_cast<int>(packet.size()) - 1;
    replyDone_ = false;
    count_ = 0;
}

void TReplyReader::Append(const uint8_t* data, size_t size) {
    // A full buffer gives up its oldest bytes: a frame can only start in the newest 256.
    if (size >= static_cast<size_t>(kReplyBufferSize)) {
        std::memcpy(buffer_.data(), data + size - kReplyBufferSize, kReplyBufferSize);
        count_ = kReplyBufferSize;
        return;
    }
    const int overflow = count_ + static_cast<int>(size) - kReplyBufferSize;
    if (overflow > 0) {
        std::memmove(buffer_.data(), buffer_.data() + overflow, static_cast<size_t>(count_ - overflow));
        count_ -= overflow;
    }
    std::memcpy(buffer_.data() + count_, data, size);
    count_ += static_cast<int>(size);
}

TReplyReader::Read_T TReplyReader::Read(const uint8_t* block, size_t size) {
    Read_T r;
    if (!replyDone_ && size > 0) {
        size_t i = 0;
        while (i < size && echoCount_ > 0 && echoPos_ < echoCopy_.size() &&
               block[i] == echoCopy_[echoPos_]) {
            --echoCount_;
            ++echoPos_;
            ++i;
        }
        if (i < size) Append(block, size);  // not all echo: the whole block counts
    } else {
        Append(block, size);
    }

    if (rcdCommand_.ExtractFrame(buffer_.data(), count_) == 0) return r;
    r.frameExtracted = true;
    r.frameText = rcdCommand_.FrameText();
    count_ = 0;  // what followed the frame is discarded

    const auto& f = rcdCommand_.Bytes();
    // A length byte above 250 wraps the frame length past 255: such a frame is shorter than
    // its own check and can never be valid.
    const size_t n = f.size() >= 3 ? f[2] : 0;
    if (f.size() < 5 || f.size() < n + 5 ||
        StationCrc(f.data(), n + 3) != (f[n + 3] << 8 | f[n + 4])) {
        r.result = Result::ChecksumError;
        return r;
    }
    r.result = Result::Frame;
    r.code = f[3];
    return r;
}
