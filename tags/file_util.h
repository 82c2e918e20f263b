// File-system helpers of the tag library (POSIX).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class TStream;

namespace fileutil {

bool FileExists(const std::string& Path);  // a regular file (links followed)
bool IsReadOnly(const std::string& Path);  // no write permission bit for anyone, or access(W_OK) denied
// The rule IsReadOnly applies to a file found with Mode (its st_mode) at Path.
bool ReadOnlyWithMode(const std::string& Path, unsigned Mode);
std::optional<int64_t> FileSize(const std::string& Path);
// Modification time in nanoseconds since the epoch.
std::optional<int64_t> GetModTime(const std::string& Path);
bool SetModTime(const std::string& Path, int64_t Nanoseconds);
std::string ExtractFileExt(const std::string& Path);   // ".mp3", with the dot; "" when none
std::string ExtractFileName(const std::string& Path);  // without folder
std::string ExtractFileDir(const std::string& Path);
bool ReadWholeFile(const std::string& Path, std::vector<uint8_t>& Out);
// Copies permission bits (and, as root, owner) of From onto To.
void CopyFileMode(const std::string& From, const std::string& To);
bool SyncDirectoryOf(const std::string& Path);
// SyncDirectoryOf now, whatever sync scope is open (a name that must be on
// the disk before the next write, such as a save's rollback journal).
bool SyncDirectoryNow(const std::string& Path);

// Puts a file's modification time back when it goes out of scope, whatever
// path the save took, when asked to keep it and the file existed. Every
// writer that offers to keep the date uses this one.
class TModTimeKeeper {
public:
    TModTimeKeeper(const std::string& Path, bool Keep);
    ~TModTimeKeeper();
    TModTimeKeeper(const TModTimeKeeper&) = delete;
    TModTimeKeeper& operator=(const TModTimeKeeper&) = delete;

private:
    std::string FPath;
    std::optional<int64_t> FTime;
};

}  // namespace fileutil
