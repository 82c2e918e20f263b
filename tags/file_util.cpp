#include "tags/file_util.h"

#include "tags/file_edit.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "tags/stream.h"

namespace fileutil {

bool FileExists(const std::string& Path) {
    if (SaveFileFacts(Path)) return true;
    struct stat st {};
    return ::stat(Path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsReadOnly(const std::string& Path) {
    if (const auto facts = SaveFileFacts(Path)) return facts->ReadOnly;
    struct stat st {};
    return ::stat(Path.c_str(), &st) == 0 && ReadOnlyWithMode(Path, st.st_mode);
}

bool ReadOnlyWithMode(const std::string& Path, unsigned Mode) {
    return (Mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(Path.c_str(), W_OK) != 0;
}

std::optional<int64_t> FileSize(const std::string& Path) {
    struct stat st {};
    if (::stat(SaveTargetName(Path).c_str(), &st) != 0) return std::nullopt;
    return (int64_t)st.st_size;
}

std::optional<int64_t> GetModTime(const std::string& Path) {
    struct stat st {};
    if (::stat(Path.c_str(), &st) != 0) return std::nullopt;
    return (int64_t)st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
}

bool SetModTime(const std::string& Path, int64_t Nanoseconds) {
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    // Floor division: a time before 1970 has a negative second count and a
    // nanosecond part in [0, 1e9), which is all utimensat accepts.
    int64_t Seconds = Nanoseconds / 1000000000LL, Rest = Nanoseconds % 1000000000LL;
    if (Rest < 0) {
        Rest += 1000000000LL;
        --Seconds;
    }
    times[1].tv_sec = Seconds;
    times[1].tv_nsec = Rest;
    return ::utimensat(AT_FDCWD, Path.c_str(), times, 0) == 0;
}

std::string ExtractFileName(const std::string& Path) {
    auto p = Path.find_last_of('/');
    return p == std::string::npos ? Path : Path.substr(p + 1);
}

std::string ExtractFileDir(const std::string& Path) {
    auto p = Path.find_last_of('/');
    if (p == std::string::npos) return ".";
    if (p == 0) return "/";
    return Path.substr(0, p);
}

std::string ExtractFileExt(const std::string& Path) {
    std::string name = ExtractFileName(Path);
    auto p = name.find_last_of('.');
    return p == std::string::npos ? std::string() : name.substr(p);
}

bool ReadWholeFile(const std::string& Path, std::vector<uint8_t>& Out) {
    auto f = TFileStream::Open(Path, TFileMode::fmOpenReadShared);
    if (!f) return false;
    Out = f->ReadAll();
    return (int64_t)Out.size() == f->Size();
}

void CopyFileMode(const std::string& From, const std::string& To) {
    struct stat st {};
    if (::stat(From.c_str(), &st) != 0) return;
    ::chmod(To.c_str(), st.st_mode & 07777);
    if (::geteuid() == 0) {
        if (::chown(To.c_str(), st.st_uid, st.st_gid) != 0) { /* best effort */
        }
    }
}

bool SyncDirectoryOf(const std::string& Path) {
    if (TSyncScope::DeferFolder(ExtractFileDir(Path))) return true;
    return SyncDirectoryNow(Path);
}

bool SyncDirectoryNow(const std::string& Path) {
    int fd = ::open(ExtractFileDir(Path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

TModTimeKeeper::TModTimeKeeper(const std::string& Path, bool Keep) : FPath(Path) {
    if (Keep) FTime = GetModTime(Path);
}

TModTimeKeeper::~TModTimeKeeper() {
    if (FTime) SetModTime(FPath, *FTime);
}

}  // namespace fileutil
