// stand-check: the faults of test scripts, found before a run, one line each in the form
// editors and compilers use.
#include <cstdio>
#include <string>
#include <vector>

#include "execution/ScriptCheck.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"

namespace {

const char* kUsage =
    "Использование: stand-check [--json] [--data ПАПКА] [--pzu ФАЙЛ] СЦЕНАРИЙ...\n"
    "\n"
    "Проверяет сценарии испытаний до запуска: цепочки проверок и шагов, ключи, строки параметров,\n"
    "команды, рисунки, секции pzu.ini, каталог бирки, кодировку.\n"
    "  --json        находки массивом JSON (file, line, severity, code, text)\n"
    "  --data ПАПКА  папка data с рисунками и pzu.ini (по умолчанию data рядом с папкой сценария)\n"
    "  --pzu ФАЙЛ    файл pzu.ini (по умолчанию ПАПКА/pzu.ini, если он есть)\n"
    "Код выхода: 0 — ошибок нет, 1 — есть ошибки, 2 — файл не прочитан.\n";

}  // namespace

int main(int argc, char** argv) {
    bool json = false;
    std::string data, pzuPath;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--json") {
            json = true;
        } else if ((a == "--data" || a == "--pzu") && i + 1 < argc) {
            (a == "--data" ? data : pzuPath) = argv[++i];
        } else if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (!a.empty() && a[0] == '-') {
            std::fprintf(stderr, "stand-check: неизвестный ключ %s\n\n%s", a.c_str(), kUsage);
            return 2;
        } else {
            files.push_back(a);
        }
    }
    if (files.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    int status = 0;
    platform::IniFile pzu;
    const bool pzuGiven = !pzuPath.empty();
    std::vector<ScriptFinding_T> all;
    for (const std::string& file : files) {
        std::string bytes;
        if (!platform::IsRegularFile(file) || !platform::ReadFileBytes(file, bytes)) {
            std::fprintf(stderr, "stand-check: файл %s не прочитан\n", file.c_str());
            status = 2;
            continue;
        }
        ScriptCheckOptions_T options;
        // The stand's layout: scripts in scn/, pictures and pzu.ini in data/ beside it.
        options.dataDir = data.empty() ? platform::JoinPath(platform::ParentDirectory(file), "../data") : data;
        if (!platform::IsDirectory(options.dataDir)) {
            if (!data.empty()) {
                std::fprintf(stderr, "stand-check: папки %s нет\n", data.c_str());
                return 2;
            }
            options.dataDir.clear();
        }
        const std::string pzuFile = pzuGiven ? pzuPath : options.dataDir.empty() ? "" : options.dataDir + "/pzu.ini";
        if (!pzuFile.empty() && platform::IsRegularFile(pzuFile)) {
            pzu.Load(pzuFile);
            options.pzu = &pzu;
        } else if (pzuGiven) {
            std::fprintf(stderr, "stand-check: файл %s не прочитан\n", pzuPath.c_str());
            return 2;
        }
        auto findings = CheckScript(bytes, file, options);
        if (HasErrors(findings) && status == 0) status = 1;
        all.insert(all.end(), findings.begin(), findings.end());
    }
    if (json) {
        std::fputs(FindingsJson(all).c_str(), stdout);
    } else {
        for (const ScriptFinding_T& f : all) std::printf("%s\n", FormatFinding(f).c_str());
    }
    return status;
}
