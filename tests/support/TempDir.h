#pragma once

#include <string>

// A fresh folder for one test, removed with everything in it at the end. Tests run as separate
// processes in parallel, so nothing may share a fixed path.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    // Writes bytes as they are (no conversion, no line-end translation).
    std::string Write(const std::string& name, const std::string& bytes) const;
    std::string Read(const std::string& name) const;

private:
    std::string path_;
};

// Runs the body with the working directory switched to dir, and switches back.
class ScopedWorkingDirectory {
public:
    explicit ScopedWorkingDirectory(const std::string& dir);
    ~ScopedWorkingDirectory();

private:
    std::string previous_;
};
