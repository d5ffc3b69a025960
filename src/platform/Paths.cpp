#include "platform/Paths.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "platform/Cp1251.h"

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#elif defined(__linux__)
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace platform {
namespace {

// Paths are UTF-8 inside the program. POSIX takes the bytes as they are; Windows is given
// them as UTF-16, so that Cyrillic names do not depend on the system's code page.
#if defined(_WIN32)
fs::path P(const std::string& utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }
std::string S(const fs::path& p) {
    const std::u8string u = p.u8string();
    return std::string(u.begin(), u.end());
}
#else
fs::path P(const std::string& s) { return fs::path(s); }
std::string S(const fs::path& p) { return p.string(); }
#endif

// A file written through a temporary one reaches the disk before it replaces the old one.
bool SyncFile(std::FILE* f) {
#if defined(_WIN32)
    return ::_commit(::_fileno(f)) == 0;
#elif defined(__linux__)
    return ::fsync(::fileno(f)) == 0;
#else
    (void)f;
    return true;
#endif
}

void RemoveQuietly(const std::string& path) {
    std::error_code ec;
    fs::remove(P(path), ec);
}

}  // namespace

std::FILE* OpenFile(const std::string& path, const char* mode) {
#if defined(_WIN32)
    const std::string m = mode;
    if (m.find('x') != std::string::npos) {
        // The C library here knows no "x": an exclusive create does the same.
        const int fd = ::_wopen(P(path).c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY,
                                _S_IREAD | _S_IWRITE);
        if (fd < 0) return nullptr;
        std::FILE* f = ::_fdopen(fd, "wb");
        if (!f) ::_close(fd);
        return f;
    }
    const std::wstring wide(m.begin(), m.end());
    return ::_wfopen(P(path).c_str(), wide.c_str());
#else
    return std::fopen(path.c_str(), mode);
#endif
}

std::string NormalizePath(const std::string& path) {
    std::string s = path;
    std::replace(s.begin(), s.end(), '\\', '/');
    std::string out;
    out.reserve(s.size());
    size_t i = 0;
    const bool absolute = !s.empty() && s[0] == '/';
    if (absolute) {
        out.push_back('/');
        while (i < s.size() && s[i] == '/') ++i;
    }
    // Walk segment by segment: empty and "." segments vanish, everything else is kept as is
    // (".." stays, it may cross a symbolic link).
    while (i < s.size()) {
        size_t j = s.find('/', i);
        if (j == std::string::npos) j = s.size();
        const std::string seg = s.substr(i, j - i);
        if (!seg.empty() && seg != ".") {
            if (!out.empty() && out.back() != '/') out.push_back('/');
            out += seg;
        }
        i = j + 1;
    }
    if (out.empty()) return absolute ? "/" : ".";
    return out;
}

std::string JoinPath(const std::string& a, const std::string& b) {
    if (a.empty()) return NormalizePath(b);
    return NormalizePath(a + "/" + b);
}

std::string CurrentDirectory() {
    std::error_code ec;
    const fs::path p = fs::current_path(ec);
    return ec ? std::string(".") : S(p);
}

bool SetCurrentDirectory(const std::string& dir) {
    std::error_code ec;
    fs::current_path(P(NormalizePath(dir)), ec);
    return !ec;
}

std::string ExecutableDirectory() {
#if defined(_WIN32)
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (n == 0) break;
        if (n < name.size()) {
            name.resize(n);
            return S(fs::path(name).parent_path());
        }
        name.resize(name.size() * 2);
    }
#elif defined(__linux__)
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) return S(exe.parent_path());
#endif
    return CurrentDirectory();
}

std::string FileName(const std::string& path) {
    const std::string n = NormalizePath(path);
    const size_t slash = n.rfind('/');
    return slash == std::string::npos ? n : n.substr(slash + 1);
}

std::string ParentDirectory(const std::string& path) {
    const std::string n = NormalizePath(path);
    const size_t slash = n.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : n.substr(0, slash);
}

bool IsRegularFile(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(P(NormalizePath(path)), ec);
}

bool IsDirectory(const std::string& path) {
    std::error_code ec;
    return fs::is_directory(P(NormalizePath(path)), ec);
}

bool MakeDirectories(const std::string& dir) {
    std::error_code ec;
    const fs::path n = P(NormalizePath(dir));
    fs::create_directories(n, ec);
    return fs::is_directory(n, ec);
}

bool RemoveFile(const std::string& path) {
    std::error_code ec;
    const fs::path n = P(NormalizePath(path));
    if (!fs::is_regular_file(n, ec)) return false;
    return fs::remove(n, ec) && !ec;
}

namespace {

bool MatchesGlob(const std::string& name, const std::string& mask) {
    // Iterative glob with one backtrack point: linear in practice, never exponential.
    size_t n = 0, m = 0, starM = std::string::npos, starN = 0;
    auto same = [](char a, char b) {
        return Cp1251ToLower(static_cast<unsigned char>(a)) ==
               Cp1251ToLower(static_cast<unsigned char>(b));
    };
    while (n < name.size()) {
        if (m < mask.size() && (mask[m] == '?' || (mask[m] != '*' && same(mask[m], name[n])))) {
            ++n, ++m;
        } else if (m < mask.size() && mask[m] == '*') {
            starM = m++;
            starN = n;
        } else if (starM != std::string::npos) {
            m = starM + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*') ++m;
    return m == mask.size();
}

}  // namespace

bool MatchesMask(const std::string& name, const std::string& mask) {
    if (MatchesGlob(name, mask)) return true;
    // A trailing ".*" also matches a name without an extension ("*.*" lists every file).
    return mask.size() >= 2 && mask.compare(mask.size() - 2, 2, ".*") == 0 &&
           name.find('.') == std::string::npos &&
           MatchesGlob(name, mask.substr(0, mask.size() - 2));
}

std::vector<std::string> ListFiles(const std::string& dir, const std::string& mask) {
    std::vector<std::string> names;
    std::error_code ec;
    fs::directory_iterator it(P(NormalizePath(dir)), ec);
    if (ec) return names;
    for (const auto& entry : it) {
        std::error_code fec;
        if (!entry.is_regular_file(fec)) continue;
        std::string name = S(entry.path().filename());
        if (MatchesMask(name, mask)) names.push_back(std::move(name));
    }
    auto lower = [](std::string s) {
        for (char& c : s) c = static_cast<char>(Cp1251ToLower(static_cast<unsigned char>(c)));
        return s;
    };
    std::sort(names.begin(), names.end(), [&](const std::string& a, const std::string& b) {
        const std::string la = lower(a), lb = lower(b);
        return la != lb ? la < lb : a < b;
    });
    return names;
}

bool ReadFileBytes(const std::string& path, std::string& bytes) {
    bytes.clear();
    const std::string n = NormalizePath(path);
    if (!IsRegularFile(n)) return false;
    std::FILE* f = OpenFile(n, "rb");
    if (!f) return false;
    std::string data;
    char buf[65536];
    size_t got;
    while ((got = std::fread(buf, 1, sizeof buf, f)) > 0) data.append(buf, got);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    if (!ok) return false;
    bytes = std::move(data);
    return true;
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
    const std::string n = NormalizePath(path);
    const std::string tmp = n + ".tmp";
    std::FILE* f = OpenFile(tmp, "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fflush(f) == 0 && ok;
    ok = SyncFile(f) && ok;
    ok = std::fclose(f) == 0 && ok;
    if (!ok) {
        RemoveQuietly(tmp);
        return false;
    }
    std::error_code ec;
    fs::rename(P(tmp), P(n), ec);
    if (ec) {
        RemoveQuietly(tmp);
        return false;
    }
    return true;
}

bool WriteNewFile(const std::string& path, const std::string& bytes) {
    const std::string n = NormalizePath(path);
    // "x": fails when the name exists, so a file another writer made is never replaced.
    std::FILE* f = OpenFile(n, "wbx");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fflush(f) == 0 && ok;
    ok = std::fclose(f) == 0 && ok;
    if (!ok) RemoveQuietly(n);
    return ok;
}

}  // namespace platform
