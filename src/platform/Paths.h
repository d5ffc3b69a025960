#pragma once

#include <cstdio>
#include <string>
#include <vector>

// Paths of the program are written the Windows way ("data\nastr.ini", WorkDir + "\" + ...).
// They are normalised here, in one place, and stay relative to the working directory.
namespace platform {

// Both separators accepted; the result uses '/', with repeated separators and "./" segments
// folded. A leading "./" of a relative path is kept off, so "./data\x.ini" becomes "data/x.ini".
std::string NormalizePath(const std::string& path);

// a + "/" + b, normalised.
std::string JoinPath(const std::string& a, const std::string& b);

std::string CurrentDirectory();
bool SetCurrentDirectory(const std::string& dir);

// Folder of the running executable (the EEPROM settings file lives beside it).
std::string ExecutableDirectory();

std::string FileName(const std::string& path);         // "a/b/c.ini" -> "c.ini"
std::string ParentDirectory(const std::string& path);  // "a/b/c.ini" -> "a/b"

bool IsRegularFile(const std::string& path);
bool IsDirectory(const std::string& path);

// Creates every missing folder on the way; true when the folder exists afterwards.
bool MakeDirectories(const std::string& dir);

bool RemoveFile(const std::string& path);

// Names (not paths) of the regular files in dir matching mask ('*' and '?', letters without
// case, as on the stand PCs), sorted by name without case so that every machine lists alike.
std::vector<std::string> ListFiles(const std::string& dir, const std::string& mask);

// Whole content of a regular file. False for a missing file, a folder or a read error.
bool ReadFileBytes(const std::string& path, std::string& bytes);

// Replaces the file through a temporary file and a rename, so that a crash or a full disk
// leaves either the old or the new content, never a cut one.
bool WriteFileBytes(const std::string& path, const std::string& bytes);
// Creates the file and writes the bytes; false, and nothing touched, when it exists already.
bool WriteNewFile(const std::string& path, const std::string& bytes);

// fopen for a path of the program (UTF-8, any separators already normalised); "x" in the mode
// creates exclusively on every platform.
std::FILE* OpenFile(const std::string& path, const char* mode);

// Wildcard match of a file name without case ('*' any run, '?' one character); a trailing
// ".*" also matches a name without an extension.
bool MatchesMask(const std::string& name, const std::string& mask);

}  // namespace platform
