#include "link/JournalText.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>

#include "link/StationCodec.h"
#include "platform/Cp1251.h"
#include "platform/Csv.h"
#include "platform/LocalTime.h"
#include "platform/Paths.h"

namespace {

// Codes the station sends as requests of its own; seen in the input they are the line's echo
// of our request.
bool IsRequestCode(uint8_t c) {
    static constexpr uint8_t kCodes[] = {
        0x01, 0x02, 0x03, 0x04, 0x10, 0x15, 0x17, 0x19, 0x1B, 0x1D, 0x3B, 0x3D, 0x41, 0x43, 0x45, 0x47,
        0x57, 0x59, 0x5B, 0x5D, 0x61, 0x63, 0x73, 0x75, 0x77, 0x85, 0x88, 0x93, 0x95, 0x97, 0x98, 0x99,
        0x9B, 0xA1, 0xA3, 0xA5, 0xA7, 0xA9, 0xAB, 0xAD, 0xAF, 0xB1, 0xB3, 0xB5, 0xB9, 0xBB, 0xBD, 0xBF,
        0xC1, 0xC3};
    return std::find(std::begin(kCodes), std::end(kCodes), c) != std::end(kCodes);
}

std::string Hex2(int v) {
    char b[4];
    std::snprintf(b, sizeof b, "%02X", v & 0xFF);
    return b;
}

// A module command or reply as text: printable characters as they are, CR as "\r", anything
// else as "<HH>".
std::string ModuleText(const std::vector<uint8_t>& bytes) {
    std::string s;
    for (uint8_t b : bytes) {
        if (b == '\r')
            s += "\\r";
        else if (b >= 0x20 && b < 0x7F)
            s += static_cast<char>(b);
        else
            s += "<" + Hex2(b) + ">";
    }
    return s;
}

std::string BytesField(const JournalFrame_T& f) {
    std::string s = BytesToHex(f.bytes, " ");
    if (f.size > f.bytes.size()) s += " ... (" + std::to_string(f.size) + " байт)";
    return s;
}

std::tm LocalOf(int64_t wallMs) {
    const int64_t sec = wallMs >= 0 ? wallMs / 1000 : (wallMs - 999) / 1000;
    return platform::LocalTime(static_cast<std::time_t>(sec));
}

int MsOf(int64_t wallMs) { return static_cast<int>(((wallMs % 1000) + 1000) % 1000); }

}  // namespace

const char* AnswerCodeName(uint8_t code) {
    switch (code) {
        case 0x0B: return "Ошибка I2C";
        case 0x1A: return "Чтение ПЗУ";
        case 0x2F: return "Квитанция 2F";
        case 0x68: return "Запись принята";
        case 0x73: return "Состояние ПЧ";
        case 0x77: return "Очистка ПЗУ";
        case 0x7A: return "Уставки";
        case 0x7C: return "Параметры 7C";
        case 0x7E: return "Квитанция 7E";
        case 0x7F: return "Паспорт";
        case 0xE1: return "Измерения";
        case 0xE3: return "Параметры E3";
        case 0xE5: return "Масштаб";
        case 0xE7: return "Сервисная команда";
        case 0xE9: return "Контроллер коммутатора";
        case 0xEB: return "Защиты ПЧ";
        case 0xED: return "Блок ED";
        case 0xEF: return "Состояние платы";
        default: return "";
    }
}

JournalFrameView_T DescribeFrame(const JournalFrame_T& f) {
    JournalFrameView_T v;
    if (f.channel == 2) {
        v.name = ModuleText(f.bytes);
        if (f.dir == JournalDir::Out && !f.accepted) v.verdict = "не записан";
        if (f.dir == JournalDir::In && !f.accepted) v.verdict = "отвергнут";
        return v;
    }
    const auto& b = f.bytes;
    if (b.size() >= 4) v.code = b[3];
    if (f.dir == JournalDir::Out) {
        if (v.code >= 0) v.name = "запрос";
        if (!f.accepted) v.verdict = "не записан";
        return v;
    }
    if (v.code >= 0) {
        const char* name = AnswerCodeName(static_cast<uint8_t>(v.code));
        v.name = *name ? name : IsRequestCode(static_cast<uint8_t>(v.code)) ? "эхо запроса" : "неизвестный код";
    }
    // The checksum is judged from the bytes themselves, as the test window judges it.
    if (b.size() < 3) {
        v.verdict = "неполный кадр";
    } else {
        const size_t length = static_cast<size_t>(b[1]) * 256 + b[2];
        const size_t body = std::max<size_t>(length, 1) + 3;
        if (b.size() < body + 2 || f.size > b.size()) {
            v.verdict = f.accepted ? "" : "неполный кадр";
        } else {
            const uint16_t crc = StationCrc(b.data(), body);
            const bool ok = (crc >> 8) == b[body] && (crc & 0xFF) == b[body + 1];
            v.verdict = ok ? "CRC верна" : "ошибка CRC";
        }
    }
    return v;
}

std::string FormatWallTime(int64_t wallMs) {
    const std::tm tm = LocalOf(wallMs);
    char b[40];
    std::snprintf(b, sizeof b, "%04d-%02d-%02d %02d:%02d:%02d.%03d", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, MsOf(wallMs));
    return b;
}

std::string FormatClockTime(int64_t wallMs) { return FormatWallTime(wallMs).substr(11); }

JournalFormat JournalFormatOf(const std::string& path) {
    if (path.size() < 4) return JournalFormat::Text;
    std::string ext = path.substr(path.size() - 4);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext == ".csv" ? JournalFormat::Csv : JournalFormat::Text;
}

std::string JournalTextLine(const JournalFrame_T& f) {
    const JournalFrameView_T v = DescribeFrame(f);
    char mono[32];
    std::snprintf(mono, sizeof mono, "%14lld", static_cast<long long>(f.monoUs));
    std::string s = FormatWallTime(f.wallMs) + "  " + mono + "  К" + std::to_string(f.channel) +
                    (f.dir == JournalDir::Out ? " -> " : " <- ") + BytesField(f);
    if (v.code >= 0 || !v.name.empty()) {
        s += "  |";
        if (v.code >= 0) s += " " + Hex2(v.code);
        if (!v.name.empty()) s += " " + v.name;
    }
    if (!v.verdict.empty()) s += "  (" + v.verdict + ")";
    return s;
}

std::string JournalCsvHeader() { return "Время;Мкс;Канал;Направление;Байты;Код;Название;Проверка"; }

std::string JournalCsvLine(const JournalFrame_T& f) {
    const JournalFrameView_T v = DescribeFrame(f);
    return FormatWallTime(f.wallMs) + ";" + std::to_string(f.monoUs) + ";" + std::to_string(f.channel) + ";" +
           (f.dir == JournalDir::Out ? "передан" : "принят") + ";" + platform::CsvField(BytesField(f)) + ";" +
           (v.code >= 0 ? Hex2(v.code) : "") + ";" + platform::CsvField(v.name) + ";" + platform::CsvField(v.verdict);
}

namespace {

struct Composed {
    bool stopped = false;
    std::string text;  // UTF-8, CR LF
    uint64_t frames = 0, lost = 0;
};

Composed Compose(const TTrafficJournal& journal, JournalFormat format, uint64_t from, uint64_t to,
                 int channel, const std::string& heading,
                 const std::function<bool(uint64_t, uint64_t)>& progress) {
    constexpr size_t kChunk = 4096;
    Composed c;
    const uint64_t end = std::min(to, journal.NextSeq());
    const uint64_t first = std::max(from, journal.FirstHeld());
    c.lost = first > from && from < end ? std::min(first, end) - from : 0;
    if (format == JournalFormat::Csv) {
        c.text += JournalCsvHeader() + "\r\n";
    } else {
        c.text += "Журнал обмена\r\n";
        if (!heading.empty()) c.text += heading + "\r\n";
        if (c.lost > 0)
            c.text += "Начало вытеснено из журнала: потеряно кадров " + std::to_string(c.lost) + "\r\n";
        c.text += "\r\n";
    }
    uint64_t seq = first;
    const uint64_t total = end > first ? end - first : 0;
    std::vector<JournalFrame_T> frames;
    while (seq < end) {
        if (progress && !progress(seq - first, total)) {
            c.stopped = true;
            return c;
        }
        auto chunk = journal.Read(seq, static_cast<size_t>(std::min<uint64_t>(kChunk, end - seq)));
        if (chunk.empty()) break;
        seq = chunk.back().seq + 1;
        for (JournalFrame_T& f : chunk)
            if (f.seq < end && (channel == 0 || f.channel == channel)) frames.push_back(std::move(f));
    }
    // A received frame's entry is made just after the window was told of it, so a reply the
    // window sent at once can stand before it in the ring: the file follows the times.
    std::stable_sort(frames.begin(), frames.end(),
                     [](const JournalFrame_T& a, const JournalFrame_T& b) { return a.monoUs < b.monoUs; });
    size_t bytes = 0;
    for (const JournalFrame_T& f : frames) bytes += f.bytes.size();
    c.text.reserve(c.text.size() + bytes * 3 + frames.size() * 96);
    for (const JournalFrame_T& f : frames) {
        c.text += format == JournalFormat::Csv ? JournalCsvLine(f) : JournalTextLine(f);
        c.text += "\r\n";
    }
    c.frames = frames.size();
    if (progress) progress(total, total);
    return c;
}

}  // namespace

JournalSaveResult_T SaveJournal(const TTrafficJournal& journal, const std::string& path, JournalFormat format,
                                uint64_t from, uint64_t to, int channel,
                                const std::function<bool(uint64_t, uint64_t)>& progress) {
    JournalSaveResult_T r;
    r.path = path;
    Composed c = Compose(journal, format, from, to, channel, {}, progress);
    r.frames = c.frames;
    r.lost = c.lost;
    if (c.stopped) {
        r.error = "Сохранение журнала прервано";
        return r;
    }
    r.ok = platform::WriteFileBytes(path, platform::Utf8ToCp1251(c.text));
    if (!r.ok) r.error = "Не удалось записать журнал в файл " + path;
    return r;
}

JournalSaveResult_T SaveRunJournal(const TTrafficJournal& journal, const std::string& protocolPath,
                                   uint64_t from, const std::string& heading) {
    JournalSaveResult_T r;
    Composed c = Compose(journal, JournalFormat::Text, from, ~0ull, 0, heading, {});
    r.frames = c.frames;
    r.lost = c.lost;
    std::string stem = protocolPath;
    const size_t slash = stem.find_last_of("/\\");
    const size_t dot = stem.find_last_of('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) stem.resize(dot);
    const std::string bytes = platform::Utf8ToCp1251(c.text);
    for (int n = 1; n < 1000; ++n) {
        const std::string path = stem + "_journal" + (n == 1 ? "" : "-" + std::to_string(n)) + ".txt";
        if (platform::WriteNewFile(path, bytes)) {
            r.ok = true;
            r.path = path;
            return r;
        }
        // A name that is taken is passed by; any other failure will not mend with another name.
        if (!platform::IsRegularFile(path) && !platform::IsDirectory(path)) {
            r.error = "Не удалось записать журнал обмена в файл " + path;
            return r;
        }
    }
    r.error = "Не удалось подобрать свободное имя для журнала обмена рядом с " + protocolPath;
    return r;
}
