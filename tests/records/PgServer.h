#pragma once

// A real PostgreSQL 15 server for the tests, in a temporary folder of its own and reachable only
// through a Unix socket there. The server refuses to run as root, so as root it runs as `nobody`.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

class PgServer {
public:
    static constexpr const char* kBin = "/usr/lib/postgresql/15/bin";

    static bool Installed() { return std::filesystem::exists(std::string(kBin) + "/initdb"); }

    PgServer() {
        char tmpl[] = "/tmp/stand_pg_XXXXXX";
        if (!mkdtemp(tmpl)) return;
        dir_ = tmpl;
        std::filesystem::permissions(dir_, std::filesystem::perms::all);
        as_ = getuid() == 0 ? "runuser -u nobody -- " : "";
        if (getuid() == 0) Shell("chown nobody " + dir_);
        ok_ = Shell(as_ + kBin + "/initdb -D " + dir_ + "/data -U postgres -A trust -E UTF8 --locale=C.UTF-8 >" + dir_ +
                    "/initdb.log 2>&1") &&
              Start();
    }
    ~PgServer() {
        Stop();
        if (!dir_.empty()) {
            std::error_code ec;
            std::filesystem::remove_all(dir_, ec);
        }
    }
    bool Ok() const { return ok_; }
    bool Start() {
        return Shell(as_ + kBin + "/pg_ctl -D " + dir_ + "/data -w -t 30 -l " + dir_ +
                     "/server.log -o \"-c listen_addresses='' -k " + dir_ + " -p 5432 -c fsync=on\" start >/dev/null");
    }
    bool Stop() {
        if (dir_.empty()) return false;
        return Shell(as_ + kBin + "/pg_ctl -D " + dir_ + "/data -w -m fast stop >/dev/null 2>&1");
    }
    std::string ConnInfo() const { return "host=" + dir_ + " port=5432 dbname=postgres user=postgres"; }
    // One value of a query, through psql.
    std::string Query(const std::string& sql) const {
        std::string out;
        const std::string cmd = std::string(kBin) + "/psql -X -A -t -q -h " + dir_ + " -p 5432 -U postgres -d postgres -c \"" +
                                sql + "\" 2>&1";
        if (FILE* p = popen(cmd.c_str(), "r")) {
            char buf[512];
            while (fgets(buf, sizeof buf, p)) out += buf;
            pclose(p);
        }
        while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
        return out;
    }

private:
    static bool Shell(const std::string& cmd) { return std::system(cmd.c_str()) == 0; }
    std::string dir_, as_;
    bool ok_ = false;
};
