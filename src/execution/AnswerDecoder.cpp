#include "execution/AnswerDecoder.h"

#include <cmath>
#include <cstdio>

#include "link/CommandCatalogue.h"
#include "link/StationCodec.h"

namespace {

int Word(const std::vector<uint8_t>& d, size_t i) { return d[i] << 8 | d[i + 1]; }
int16_t SignedWord(const std::vector<uint8_t>& d, size_t i) { return static_cast<int16_t>(Word(d, i)); }
double SignMagnitude(uint8_t b) { return (b & 0x80) ? -(b & 0x7F) : (b & 0x7F); }
double IntegerPart(double v) { return std::trunc(v); }
std::string Two(int v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d", v);
    return buf;
}

}  // namespace

bool TAnswerDecoder::KnownCode(uint8_t c) {
    switch (c) {
        case 0x0B: case 0x1A: case 0x2F: case 0x68: case 0x73: case 0x77: case 0x7A: case 0x7C:
        case 0x7E: case 0x7F: case 0xE1: case 0xE3: case 0xE5: case 0xE7: case 0xE9: case 0xEB:
        case 0xED: case 0xEF: return true;
        default: return false;
    }
}

bool TAnswerDecoder::StationRequestCode(uint8_t c) {
    static constexpr uint8_t kCodes[] = {
        0x01, 0x02, 0x03, 0x04, 0x10, 0x15, 0x17, 0x19, 0x1B, 0x1D, 0x3B, 0x3D, 0x41, 0x43, 0x45,
        0x47, 0x57, 0x59, 0x5B, 0x5D, 0x61, 0x63, 0x73, 0x75, 0x77, 0x85, 0x88, 0x93, 0x95, 0x97,
        0x98, 0x99, 0x9B, 0xA1, 0xA3, 0xA5, 0xA7, 0xA9, 0xAB, 0xAD, 0xAF, 0xB1, 0xB3, 0xB5, 0xB9,
        0xBB, 0xBD, 0xBF, 0xC1, 0xC3};
    for (uint8_t k : kCodes)
        if (k == c) return true;
    return false;
}

size_t TAnswerDecoder::NeededData(uint8_t c) {
    // 0x1A needs its chip, address and count; its bytes are checked against the count.
    return c == 0x1A ? 4 : ReplyDataLength(c);
}

TAnswerDecoder::Result_T TAnswerDecoder::Decode(const std::vector<uint8_t>& frame) {
    Result_T r;
    if (frame.size() < 6) return r;
    const uint8_t code = frame[3];
    r.known = KnownCode(code);
    if (!r.known) {
        r.stationRequest = StationRequestCode(code);
        return r;
    }
    // Data: from offset 4 up to the check bytes, never beyond the frame.
    const size_t n = frame[2];
    const size_t dataEnd = std::min(frame.size() - 2, static_cast<size_t>(3 + n));
    const std::vector<uint8_t> d(frame.begin() + 4, frame.begin() + static_cast<long>(std::max<size_t>(4, dataEnd)));
    if (d.size() < NeededData(code)) {
        r.tooShort = true;  // not decoded, not answered
        return r;
    }
    r.answered = true;
    const double kUout = boardKind_ ? 1.0 : k_.kUout;
    switch (code) {
        case 0x0B: r.toEepromWindow = true; break;
        case 0x1A: {
            const uint8_t chip = d[0];
            const size_t count = d[3];
            const size_t have = std::min(count, d.size() - 4);
            const std::string text = BytesToHex(d.data() + 4, have, " ");
            if (chip < 0xA0 || chip > 0xAE || chip % 2 != 0) {
                // Another chip address: only shown, never used as an index.
                state_.eepromGeneral = text;
                break;
            }
            const int i = (chip - 0xA0) / 2;
            state_.eepromFields[i] = text;
            if (have > 0) {
                B(i) = d[4];
                if (storeEeprom_ && pzu_) {
                    pzu_->WriteString("Pzu" + std::to_string(i), "Data", std::to_string(d[4]));
                    r.pzuChanged = true;
                }
            }
            if (i == 0 && d[1] == 0 && d[2] == 0 && have >= 5) state_.eepromVersion = d[8] - 100;
            r.eepromAnswer = true;
            break;
        }
        case 0x73: {
            state_.state73 = d;
            const int speed = SignedWord(d, 0);
            B(4) = static_cast<float>(speed);
            state_.rotationStatus = speed > 100 ? "Двигатель вращается. Обороты: " + std::to_string(speed) : "";
            B(5) = static_cast<float>(SignedWord(d, 2) * k_.kUin);
            B(6) = static_cast<float>(SignedWord(d, 4) * k_.kUin);
            B(7) = static_cast<float>(SignedWord(d, 6) * k_.kUin);
            B(14) = static_cast<float>(SignMagnitude(d[8]));
            B(15) = static_cast<float>(SignMagnitude(d[9]));
            B(3) = d[10];
            B(0) = d[11];
            B(1) = d[12];
            B(2) = d[13];
            B(8) = static_cast<float>(SignedWord(d, 14) * kUout);
            B(9) = static_cast<float>(SignedWord(d, 16) * kUout);
            B(10) = static_cast<float>(SignedWord(d, 18) * kUout);
            B(11) = static_cast<float>(d[20] * k_.kIout);
            B(12) = static_cast<float>(d[21] * k_.kIout);
            B(13) = static_cast<float>(d[22] * k_.kIout);
            B(17) = static_cast<float>(SignedWord(d, 23) * kUout);
            B(18) = static_cast<float>(SignedWord(d, 25) * kUout);
            B(19) = static_cast<float>(d[27] * k_.kIout);
            B(20) = static_cast<float>(d[28] * k_.kIout);
            B(21) = B(17) == 0 ? 0.0f : B(18) / B(17);
            B(22) = B(19) == 0 ? 0.0f : B(20) / B(19);
            break;
        }
        case 0x77: r.clearingDone = d[0] == 0x4D; break;
        case 0x7A: state_.setpoints = d; break;
        case 0x7C:
            for (int i = 0; i <= 10; ++i) B(i) = d[i];
            p_ = d[4];
            B(11) = static_cast<float>(d[11] * 257);
            B(12) = static_cast<float>(d[13] * 257);
            B(13) = static_cast<float>(d[15] * 257);
            break;
        case 0x7F: state_.passport.assign(d.begin(), d.begin() + 14); break;
        case 0xE1: {
            const double m = d[26];
            for (int i = 0; i < 4; ++i) B(i) = static_cast<float>(IntegerPart((65535 - Word(d, 2 * i)) * 0.2 * m));
            B(4) = static_cast<float>(IntegerPart(Word(d, 8) * 0.2 * m));
            for (int i = 0; i < 4; ++i) B(5 + i) = static_cast<float>(IntegerPart(Word(d, 10 + 2 * i) * 0.2 * 16));
            B(9) = static_cast<float>(IntegerPart((65535 - Word(d, 18)) * 0.2 * m));
            B(10) = static_cast<float>(IntegerPart(Word(d, 20) * 0.2 * m));
            const double period = (65535 - Word(d, 22)) * 0.2 * 8;
            // A zero period or factor gives 0, not an infinity.
            B(11) = period == 0 || p_ == 0 ? 0.0f
                                          : static_cast<float>(IntegerPart(1e6 / period) / p_ * 10);
            B(12) = static_cast<float>(Word(d, 24));
            B(13) = d[26];
            break;
        }
        case 0xE3:
            for (int i = 0; i <= 5; ++i) B(i) = d[i];
            d_ = d[0] == 0 ? 1 : d[0];
            B(6) = static_cast<float>(256 * d[6] + d[7]);
            B(7) = static_cast<float>(256 * d[8] + d[9]);
            B(8) = d[10];
            B(9) = static_cast<float>(256 * d[11] + d[12]);
            B(10) = static_cast<float>(256 * d[13] + d[14]);
            break;
        case 0xE5:
            // A zero byte would make S infinite: S stays as it was.
            if (d[0] != 0) s_ = 255.0 / (d[0] * 198.0 / 255.0);
            break;
        case 0xE9:
            state_.switchCtl = d;
            for (int i = 0; i <= 11; ++i) B(i) = d[i];
            break;
        case 0xEB: {
            state_.protections = d;
            state_.lastEbPayload.assign(frame.begin() + 3, frame.begin() + 4 + static_cast<long>(d.size()));
            for (int i = 0; i <= 7; ++i) B(i) = d[i];
            B(13) = d[14];
            B(14) = d[15];
            B(15) = d[16];
            B(8) = d[9];
            const double f = (65535.0 * d[8] + 256.0 * d[9] + d[10]) * 0.2 / d_;
            if (f != 0) B(8) = p_ == 0 ? 0.0f : static_cast<float>(1e6 / f / p_ * 10);
            B(9) = d[11];
            B(10) = d[12];
            const double g = 65535.0 * d[13] + 256.0 * d[14] + d[15];
            B(11) = static_cast<float>(g == 0 ? g : 1e6 / (0.2 * g));
            B(12) = d[16];
            break;
        }
        case 0xED: B(5) = static_cast<float>(d[5] >> 5); break;
        case 0xEF:
            state_.board = d;
            for (int i = 0; i <= 4; ++i) B(i) = d[i];
            state_.clockText = Two(d[21]) + "." + Two(d[22]) + ", " + std::to_string(0x0700 + d[23]) + " " +
                               Two(d[24]) + ":" + Two(d[25]) + ":" + Two(d[26]);
            B(5) = d[21];
            B(6) = d[22];
            B(7) = 7;
            B(8) = d[23];
            B(9) = d[24];
            B(10) = d[25];
            break;
        default: break;  // 0x2F, 0x68, 0x7E, 0xE7: answered, nothing to decode
    }
    return r;
}
