#pragma once

#include <cstdio>
#include <initializer_list>
#include <string>

// The protocol file of a run: Windows-1251 text with CR LF line ends and a blank before each
// line end, written through to the file at every call so that nothing is lost if the program
// stops. Texts are given in UTF-8.
class TProtocolWriter {
public:
    TProtocolWriter() = default;
    ~TProtocolWriter() { Close(); }
    TProtocolWriter(const TProtocolWriter&) = delete;
    TProtocolWriter& operator=(const TProtocolWriter&) = delete;

    // Makes the missing folders and truncates the file. On failure Error() holds
    // "File " + path + " not found" and no stream is open.
    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const { return file_ != nullptr; }
    const std::string& Error() const { return error_; }
    const std::string& Path() const { return path_; }

    // "%s \n"
    bool WriteLine(const std::string& text);
    // "%s %s \n"
    bool WriteLabelValue(const std::string& label, const std::string& value);
    // The caller's printf-style format with %s fields (flags, width and precision as printf
    // takes them); widths count Windows-1251 characters, one byte each.
    bool WriteFormatted(const char* format, std::initializer_list<std::string> texts);

    // The same formatting into Windows-1251 bytes, for tests and the viewer.
    static std::string Format(const char* format, std::initializer_list<std::string> texts);
    // The same, back in UTF-8 (for a line that goes through WriteLine later).
    static std::string FormatUtf8(const char* format, std::initializer_list<std::string> texts);

private:
    bool Write(const std::string& cp1251);
    std::FILE* file_ = nullptr;
    std::string path_;
    std::string error_;
};
