#include "app/core/file_stamp.h"

#include <QFile>
#include <sys/stat.h>

TFileStamp ReadFileStamp(const QString& Path) {
    TFileStamp Stamp;
    struct stat Info {};
    if (Path.isEmpty() || ::stat(QFile::encodeName(Path).constData(), &Info) != 0) return Stamp;
    Stamp.Size = static_cast<int64_t>(Info.st_size);
    Stamp.MTimeSec = static_cast<int64_t>(Info.st_mtim.tv_sec);
    Stamp.MTimeNsec = static_cast<int64_t>(Info.st_mtim.tv_nsec);
    Stamp.Inode = static_cast<uint64_t>(Info.st_ino);
    Stamp.Device = static_cast<uint64_t>(Info.st_dev);
    return Stamp;
}
