#include "records/ProtocolWriter.h"

#include <vector>

#include "platform/Cp1251.h"
#include "platform/Paths.h"

bool TProtocolWriter::Open(const std::string& path) {
    Close();
    path_ = path;
    error_.clear();
    const std::string n = platform::NormalizePath(path);
    platform::MakeDirectories(platform::ParentDirectory(n));
    file_ = platform::OpenFile(n, "wb");
    if (!file_) {
        error_ = "File " + path + " not found";
        return false;
    }
    return true;
}

void TProtocolWriter::Close() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
}

bool TProtocolWriter::Write(const std::string& cp1251) {
    if (!file_) return false;  // no stream: nothing is written anywhere
    std::string out;
    out.reserve(cp1251.size() + 8);
    for (char c : cp1251) {
        if (c == '\n') out.push_back('\r');
        out.push_back(c);
    }
    const bool ok = std::fwrite(out.data(), 1, out.size(), file_) == out.size();
    return std::fflush(file_) == 0 && ok;
}

bool TProtocolWriter::WriteLine(const std::string& text) {
    return Write(platform::Utf8ToCp1251(text) + " \n");
}

bool TProtocolWriter::WriteLabelValue(const std::string& label, const std::string& value) {
    return Write(platform::Utf8ToCp1251(label) + " " + platform::Utf8ToCp1251(value) + " \n");
}

bool TProtocolWriter::WriteFormatted(const char* format, std::initializer_list<std::string> texts) {
    return Write(Format(format, texts));
}

std::string TProtocolWriter::Format(const char* format, std::initializer_list<std::string> texts) {
    const std::string f = platform::Utf8ToCp1251(format);
    std::vector<std::string> args;
    for (const std::string& t : texts) args.push_back(platform::Utf8ToCp1251(t));
    std::string out;
    size_t next = 0;
    for (size_t i = 0; i < f.size(); ++i) {
        if (f[i] != '%') {
            out.push_back(f[i]);
            continue;
        }
        if (i + 1 < f.size() && f[i + 1] == '%') {
            out.push_back('%');
            ++i;
            continue;
        }
        // One conversion: flags, width, precision, then 's'. Anything else is copied as text.
        size_t j = i + 1;
        while (j < f.size() && std::string("-+ #0123456789.").find(f[j]) != std::string::npos) ++j;
        if (j >= f.size() || f[j] != 's') {
            out.append(f, i, j - i);
            i = j - 1;
            continue;
        }
        const std::string conversion = f.substr(i, j - i + 1);
        const std::string& arg = next < args.size() ? args[next] : std::string();
        ++next;
        const int n = std::snprintf(nullptr, 0, conversion.c_str(), arg.c_str());
        if (n > 0) {
            std::string piece(static_cast<size_t>(n) + 1, '\0');
            std::snprintf(piece.data(), piece.size(), conversion.c_str(), arg.c_str());
            piece.resize(static_cast<size_t>(n));
            out += piece;
        }
        i = j;
    }
    return out;
}

std::string TProtocolWriter::FormatUtf8(const char* format, std::initializer_list<std::string> texts) {
    return platform::Cp1251ToUtf8(Format(format, texts));
}
