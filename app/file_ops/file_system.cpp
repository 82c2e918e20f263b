#include "app/file_ops/file_system.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fileops {

namespace {

constexpr size_t kCopyBufferSize = 1 << 20;

QByteArray Native(const QString& Path) { return QFile::encodeName(Path); }

QString ErrorText(int Code) {
    if (Code == EEXIST) return AlreadyExistsText();
    return QString::fromLocal8Bit(std::strerror(Code));
}

bool WriteAll(int Fd, const char* Data, size_t Size) {
    while (Size > 0) {
        const ssize_t N = ::write(Fd, Data, Size);
        if (N < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        Data += N;
        Size -= static_cast<size_t>(N);
    }
    return true;
}

// Copies the open source into the open target; errno tells why it failed.
bool CopyData(int In, int Out) {
    std::unique_ptr<char[]> Buffer(new char[kCopyBufferSize]);
    for (;;) {
        const ssize_t N = ::read(In, Buffer.get(), kCopyBufferSize);
        if (N < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (N == 0) return true;
        if (!WriteAll(Out, Buffer.get(), static_cast<size_t>(N))) return false;
    }
}

// Copies From into a new file To created exclusively (or, with a temporary
// name pattern, into a fresh temporary whose name is returned in To).
// Removes what it created on failure.
bool CopyInto(const QString& From, QByteArray& Target, bool Temporary, bool KeepTime, int& Code) {
    const int In = ::open(Native(From).constData(), O_RDONLY | O_CLOEXEC);
    if (In < 0) {
        Code = errno;
        return false;
    }
    struct stat St {};
    if (::fstat(In, &St) != 0 || !S_ISREG(St.st_mode)) {
        Code = S_ISREG(St.st_mode) ? errno : EINVAL;
        ::close(In);
        return false;
    }
    int Out = -1;
    if (Temporary) {
        Out = ::mkostemp(Target.data(), O_CLOEXEC);
    } else {
        Out = ::open(Target.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, St.st_mode & 07777);
    }
    if (Out < 0) {
        Code = errno;
        ::close(In);
        return false;
    }
    bool Ok = CopyData(In, Out) && ::fchmod(Out, St.st_mode & 07777) == 0;
    if (Ok && KeepTime) {
        const struct timespec Times[2] = {St.st_atim, St.st_mtim};
        Ok = ::futimens(Out, Times) == 0;
    }
    Ok = Ok && ::fsync(Out) == 0;
    Code = Ok ? 0 : errno;
    if (::close(Out) != 0 && Ok) {
        Ok = false;
        Code = errno;
    }
    ::close(In);
    if (!Ok) ::unlink(Target.constData());
    return Ok;
}

}  // namespace

QString AlreadyExistsText() { return QStringLiteral("The specified file already exists"); }

namespace {

// 0, or the errno of the failed rename.
int RenameNoReplaceCode(const QString& From, const QString& To) {
    const QByteArray A = Native(From), B = Native(To);
    if (::renameat2(AT_FDCWD, A.constData(), AT_FDCWD, B.constData(), RENAME_NOREPLACE) == 0) return 0;
    int Code = errno;
    if (Code == EINVAL || Code == ENOSYS || Code == ENOTSUP) {
        // A file system without the no-replace flag: a hard link cannot
        // replace either. Folders cannot be linked; they get a checked rename.
        struct stat St {};
        if (::lstat(A.constData(), &St) == 0 && !S_ISDIR(St.st_mode)) {
            if (::link(A.constData(), B.constData()) == 0) {
                if (::unlink(A.constData()) == 0) return 0;
                Code = errno;
                ::unlink(B.constData());
            } else {
                Code = errno;
            }
        } else if (::lstat(B.constData(), &St) == 0) {
            Code = EEXIST;
        } else if (::rename(A.constData(), B.constData()) == 0) {
            return 0;
        } else {
            Code = errno;
        }
    }
    return Code;
}

}  // namespace

bool RenameNoReplace(const QString& From, const QString& To, QString& Error) {
    const int Code = RenameNoReplaceCode(From, To);
    if (Code != 0) Error = ErrorText(Code);
    return Code == 0;
}

bool MoveFile(const QString& From, const QString& To, QString& Error) {
    int Code = RenameNoReplaceCode(From, To);
    if (Code == 0) return true;
    if (Code != EXDEV) {
        Error = ErrorText(Code);
        return false;
    }
    QByteArray Target = Native(To);
    if (!CopyInto(From, Target, false, true, Code)) {
        Error = ErrorText(Code);
        return false;
    }
    if (::unlink(Native(From).constData()) != 0) {
        // The source stays; so must nothing but the source.
        Code = errno;
        ::unlink(Target.constData());
        Error = ErrorText(Code);
        return false;
    }
    return true;
}

bool SameFile(const QString& A, const QString& B) {
    struct stat Sa {
    }, Sb{};
    return ::stat(Native(A).constData(), &Sa) == 0 && ::stat(Native(B).constData(), &Sb) == 0 &&
           Sa.st_dev == Sb.st_dev && Sa.st_ino == Sb.st_ino;
}

std::optional<TFileIdentity> IdentityOf(const QString& Path) {
    struct stat St {};
    if (::stat(Native(Path).constData(), &St) != 0) return std::nullopt;
    return TFileIdentity{static_cast<quint64>(St.st_dev), static_cast<quint64>(St.st_ino)};
}

bool CopyFileOver(const QString& From, const QString& To, QString& Error) {
    if (SameFile(From, To)) {
        Error = QStringLiteral("The source and the target are the same file");
        return false;
    }
    const QFileInfo Info(To);
    QByteArray Temp =
        Native(Info.absolutePath() + QStringLiteral("/.") + Info.fileName().left(64) + QStringLiteral(".XXXXXX"));
    int Code = 0;
    if (!CopyInto(From, Temp, true, false, Code)) {
        Error = ErrorText(Code);
        return false;
    }
    if (::rename(Temp.constData(), Native(To).constData()) != 0) {
        Code = errno;
        ::unlink(Temp.constData());
        Error = ErrorText(Code);
        return false;
    }
    return true;
}

bool DeleteFile(const QString& Path, QString& Error) {
    if (::unlink(Native(Path).constData()) == 0 || errno == ENOENT) return true;
    Error = ErrorText(errno);
    return false;
}

}  // namespace fileops
