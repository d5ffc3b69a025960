#include "platform/Paths.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "platform/Cp1251.h"

#if defined(__linux__)
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace platform {

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
    return ec ? std::string(".") : p.string();
}

bool SetCurrentDirectory(const std::string& dir) {
    std::error_code ec;
    fs::current_path(NormalizePath(dir), ec);
    return !ec;
}

std::string ExecutableDirectory() {
#if defined(__linux__)
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) return exe.parent_path().string();
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
    return fs::is_regular_file(NormalizePath(path), ec);
}

bool IsDirectory(const std::string& path) {
    std::error_code ec;
    return fs::is_directory(NormalizePath(path), ec);
}

bool MakeDirectories(const std::string& dir) {
    std::error_code ec;
    const std::string n = NormalizePath(dir);
    fs::create_directories(n, ec);
    return fs::is_directory(n, ec);
}

bool RemoveFile(const std::string& path) {
    std::error_code ec;
    const std::string n = NormalizePath(path);
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
    fs::directory_iterator it(NormalizePath(dir), ec);
    if (ec) return names;
    for (const auto& entry : it) {
        std::error_code fec;
        if (!entry.is_regular_file(fec)) continue;
        std::string name = entry.path().filename().string();
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
    std::ifstream in(n, std::ios::binary);
    if (!in) return false;
    std::string data;
    char buf[65536];
    while (in.read(buf, sizeof buf) || in.gcount() > 0)
        data.append(buf, static_cast<size_t>(in.gcount()));
    if (in.bad()) return false;
    bytes = std::move(data);
    return true;
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
    const std::string n = NormalizePath(path);
    const std::string tmp = n + ".tmp";
    std::FILE* f = std::fopen(tmp.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fflush(f) == 0 && ok;
#if defined(__linux__)
    ok = ::fsync(::fileno(f)) == 0 && ok;
#endif
    ok = std::fclose(f) == 0 && ok;
    if (!ok) {
        std::remove(tmp.c_str());
        return false;
    }
    std::error_code ec;
    fs::rename(tmp, n, ec);
    if (ec) {
        std::remove(tmp.c_str());
        return false;
    }
    return true;
}

bool WriteNewFile(const std::string& path, const std::string& bytes) {
    const std::string n = NormalizePath(path);
    // "x": fails when the name exists, so a file another writer made is never replaced.
    std::FILE* f = std::fopen(n.c_str(), "wbx");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fflush(f) == 0 && ok;
    ok = std::fclose(f) == 0 && ok;
    if (!ok) std::remove(n.c_str());
    return ok;
}

}  // namespace platform
