#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

namespace fs = std::filesystem;

TempDir::TempDir() {
    // A name nobody holds, taken by creating it (creation fails for an existing folder).
    std::random_device seed;
    std::mt19937_64 random(seed());
    const fs::path base = fs::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path p = base / ("stand-test-" + std::to_string(random() % 1000000000000ULL));
        std::error_code ec;
        if (fs::create_directory(p, ec)) {
            path_ = p.string();
            return;
        }
    }
    ADD_FAILURE() << "no temporary folder could be made";
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

std::string TempDir::Write(const std::string& name, const std::string& bytes) const {
    const fs::path p = fs::path(path_) / name;
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
    return p.string();
}

std::string TempDir::Read(const std::string& name) const {
    std::ifstream in(fs::path(path_) / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

ScopedWorkingDirectory::ScopedWorkingDirectory(const std::string& dir)
    : previous_(fs::current_path().string()) {
    fs::current_path(dir);
}

ScopedWorkingDirectory::~ScopedWorkingDirectory() {
    std::error_code ec;
    fs::current_path(previous_, ec);
}
