#include "eeprom/PzuSession.h"

#include <algorithm>

#include "link/Crc.h"
#include "platform/Paths.h"

namespace {

std::vector<uint8_t> Frame(std::vector<uint8_t> head, const uint8_t* data, size_t size) {
    head.insert(head.end(), data, data + size);
    TCRC crc;
    crc.SetModel(mCRC_16_standart);
    crc.Cm_Ini();
    crc.Cm_Blk(head.data(), head.size());
    const uint32_t c = crc.Cm_CRC();
    head.push_back(static_cast<uint8_t>(c >> 8));
    head.push_back(static_cast<uint8_t>(c & 0xFF));
    head.push_back(0x00);
    return head;
}

}  // namespace

std::vector<uint8_t> TPzuSession::WritePacket(uint16_t a, const uint8_t* data64) {
    std::vector<uint8_t> head;
    head.reserve(75);
    for (uint8_t b : {uint8_t{0x4D}, uint8_t{0x00}, uint8_t{0x45}, uint8_t{0x15}, uint8_t{0xA0},
                      static_cast<uint8_t>(a >> 8), static_cast<uint8_t>(a & 0xFF), uint8_t{0x40}})
        head.push_back(b);
    return Frame(std::move(head), data64, kBlockSize);
}

std::vector<uint8_t> TPzuSession::ReadPacket(uint16_t a) {
    std::vector<uint8_t> head;
    head.reserve(11);
    for (uint8_t b : {uint8_t{0x4D}, uint8_t{0x00}, uint8_t{0x05}, uint8_t{0x10}, uint8_t{0xA0},
                      static_cast<uint8_t>(a >> 8), static_cast<uint8_t>(a & 0xFF), uint8_t{0x40}})
        head.push_back(b);
    return Frame(std::move(head), nullptr, 0);
}

bool TPzuSession::OpenSettings(const std::string& path, std::string& error) {
    if (settings_) std::fclose(settings_);
    settings_ = platform::OpenFile(platform::NormalizePath(path), "rb");
    if (!settings_) {
        error = "Нет файла с уставками  " + path + ".";
        return false;
    }
    std::fseek(settings_, 0, SEEK_END);
    settingsLength_ = std::ftell(settings_);
    std::fseek(settings_, 0, SEEK_SET);
    block_.fill(0);
    return true;
}

std::string TPzuSession::ReadBackPath(const std::string& settingsPath) {
    const size_t slash = settingsPath.find_last_of("/\\");
    const size_t dot = settingsPath.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return settingsPath + ".A0";
    return settingsPath.substr(0, dot) + ".A0";
}

bool TPzuSession::OpenReadBack(const std::string& settingsPath) {
    if (readBack_) std::fclose(readBack_);
    readBack_ = platform::OpenFile(platform::NormalizePath(ReadBackPath(settingsPath)), "wb");
    return readBack_ != nullptr;
}

void TPzuSession::CloseFiles() {
    if (settings_) std::fclose(settings_);
    if (readBack_) std::fclose(readBack_);
    settings_ = readBack_ = nullptr;
}

bool TPzuSession::LengthUsable(std::string& error) const {
    if (settingsLength_ == kFullLength || settingsLength_ == kShortLength) return true;
    error = "Файл с уставками имеет длину " + std::to_string(settingsLength_) +
            " байт; программировать можно файл длиной 32768 или 29 байт. Программирование не начато.";
    return false;
}

long TPzuSession::Position() const { return settings_ ? std::ftell(settings_) : 0; }

bool TPzuSession::AtEnd() const {
    const long a = Position();
    return a > kLastBlock || a == kShortLength;
}

void TPzuSession::Start(bool programming) {
    programming_ = programming;
    errorCount_ = 0;
    silentTicks_ = 0;
    repeats_ = 0;
    answered_ = true;
    blockAddress_ = -1;
}

TPzuSession::TickResult_T TPzuSession::OnTick() {
    TickResult_T r;
    if (!answered_) {
        // The block is still unanswered: after a while it goes again, a few times, then the
        // operator decides.
        if (lastPacket_.empty() || ++silentTicks_ < kRepeatAfterTicks) return r;
        silentTicks_ = 0;
        if (repeats_ >= kMaxRepeats) {
            r.what = Tick::AskGiveUp;
            return r;
        }
        ++repeats_;
        r.what = Tick::Repeat;
        r.packet = lastPacket_;
        return r;
    }
    silentTicks_ = 0;
    repeats_ = 0;
    const int k = blockCounter_++;
    long a = 0;
    if (programming_) {
        a = Position();
        if (a > kLastBlock || a == kShortLength) {
            r.what = Tick::Finished;
            return r;
        }
        // A short read at the end keeps the rest of the block as it was.
        if (settings_) (void)std::fread(block_.data(), 1, block_.size(), settings_);
        r.packet = WritePacket(static_cast<uint16_t>(a & 0xFFFF), block_.data());
    } else {
        a = static_cast<long>(kBlockSize) * k;
        if (a > kLastBlock) {
            r.what = Tick::Finished;
            return r;
        }
        if (settings_) (void)std::fread(block_.data(), 1, block_.size(), settings_);
        r.packet = ReadPacket(static_cast<uint16_t>(a));
    }
    r.what = Tick::Send;
    r.address = static_cast<uint16_t>(a & 0xFFFF);
    blockAddress_ = r.address;
    answered_ = false;
    lastPacket_ = r.packet;
    return r;
}

TPzuSession::Answer_T TPzuSession::OnAnswer(const uint8_t* d) {
    Answer_T a;
    a.address = static_cast<uint16_t>(d[1] * 256 + d[2]);
    std::copy(d + 4, d + 4 + kBlockSize, a.bytes.begin());
    // A late answer to a block sent again (or any other block) is not this block's: it must
    // not count as a difference, go into the read-back file twice, or stand for the answer
    // that is still to come.
    if (answered_ || a.address != blockAddress_) {
        a.foreign = true;
        return a;
    }
    if (readBack_) {
        std::fwrite(a.bytes.data(), 1, a.bytes.size(), readBack_);
        std::fflush(readBack_);
    }
    for (int i = 0; i < kBlockSize; ++i)
        if (a.bytes[static_cast<size_t>(i)] != block_[static_cast<size_t>(i)]) {
            a.firstDifference = i;
            ++errorCount_;
            break;
        }
    answered_ = true;
    silentTicks_ = 0;
    repeats_ = 0;
    return a;
}
