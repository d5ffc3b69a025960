#pragma once
// A command run by the shell as a person runs it in a terminal: its standard output, and its
// exit status when asked for.
#include <sys/wait.h>

#include <cstdio>
#include <string>

inline std::string Shell(const std::string& command, int* status = nullptr) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return out;
    char buf[512];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    const int rc = pclose(p);
    if (status) *status = WEXITSTATUS(rc);
    return out;
}
