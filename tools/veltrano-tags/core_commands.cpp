// record and scan: the files as the application sees them, through the tag
// service (TAudioTag) and the folder scanner.
//
//   veltrano-tags record FILE...
//       one JSON line per file: the record's sixteen text fields, DurationSec,
//       CoverMime, CoverSize and FileType, or {"file":...,"error":...};
//       exit 1 when a file could not be read.
//   veltrano-tags record FILE... --set Field=Value... [--cover IMAGE | --no-cover]
//       changes the records and writes them back with the tag service;
//       exit 0 when every file was written, 1 (message on stderr) otherwise.
//   veltrano-tags scan DIR [-j N]
//       walks DIR like the window does, loading N files at once (by default
//       as many as the window), one record line per audio file in the walk's
//       order, then {"files":N,"failed":F,"seconds":S}.
// Bad arguments: one line on stderr, exit 2.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/core/audio_tag.h"
#include "app/core/parallel_loader.h"
#include "app/core/tag_service.h"
#include "tools/veltrano-tags/commands.h"
#include "tools/veltrano-tags/json.h"

namespace {

int BadArguments(const QString& Message) {
    std::fprintf(stderr, "veltrano-tags: %s\n", Message.toLocal8Bit().constData());
    return 2;
}

QString FromArg(const std::string& Arg) { return QFile::decodeName(QByteArray::fromStdString(Arg)); }

std::string JsonText(const QString& Text) { return JsonString(Text.toStdString()); }

std::string RecordJson(const TAudioTag& Tag) {
    std::string Out = "{\"file\":" + JsonText(Tag.FileName);
    for (int I = 0; I < TAudioTag::TextFieldCount; ++I)
        Out += ",\"" + std::string(TAudioTag::TextFieldName(I)) + "\":" + JsonText(Tag.TextField(I));
    Out += ",\"DurationSec\":" + std::to_string(Tag.DurationSec);
    Out += ",\"CoverMime\":" + JsonText(Tag.CoverMime);
    Out += ",\"CoverSize\":" + std::to_string(Tag.CoverData.size());
    Out += ",\"FileType\":" + JsonText(QString::fromLatin1(AudioFileTypeName(Tag.FileType)));
    return Out + "}";
}

std::string ErrorJson(const QString& FileName, const QString& Error) {
    return "{\"file\":" + JsonText(FileName) + ",\"error\":" + JsonText(Error) + "}";
}

void PrintLine(const std::string& Line) {
    std::fwrite(Line.data(), 1, Line.size(), stdout);
    std::fputc('\n', stdout);
}

// MIME type of a picture file from its first bytes.
QString PictureMime(const QByteArray& Data) {
    if (Data.startsWith("\xFF\xD8\xFF")) return QStringLiteral("image/jpeg");
    if (Data.startsWith("\x89PNG\r\n\x1A\n")) return QStringLiteral("image/png");
    if (Data.startsWith("GIF8")) return QStringLiteral("image/gif");
    if (Data.startsWith("BM")) return QStringLiteral("image/bmp");
    return QStringLiteral("application/octet-stream");
}

int FieldIndex(const QString& Name) {
    for (int I = 0; I < TAudioTag::TextFieldCount; ++I)
        if (Name.compare(QLatin1String(TAudioTag::TextFieldName(I)), Qt::CaseInsensitive) == 0) return I;
    return -1;
}

// Runs Body with a QCoreApplication, creating one when the process has none.
template <typename F>
int WithApplication(F&& Body) {
    if (QCoreApplication::instance()) return Body();
    static int Argc = 1;
    static char Name[] = "veltrano-tags";
    static char* Argv[] = {Name, nullptr};
    QCoreApplication App(Argc, Argv);
    return Body();
}

}  // namespace

int CmdRecord(const std::vector<std::string>& Args) {
    std::vector<QString> Files;
    std::vector<std::pair<int, QString>> Changes;
    std::optional<QByteArray> Cover;  // set: replace the picture (empty: remove it)
    for (size_t I = 0; I < Args.size(); ++I) {
        const std::string& A = Args[I];
        if (A == "--set") {
            // Every following Field=Value belongs to --set.
            bool Any = false;
            while (I + 1 < Args.size() && Args[I + 1].rfind("--", 0) != 0 &&
                   Args[I + 1].find('=') != std::string::npos) {
                const QString Pair = QString::fromStdString(Args[++I]);
                const qsizetype Eq = Pair.indexOf(u'=');
                const int Field = FieldIndex(Pair.left(Eq));
                if (Field < 0) return BadArguments(QStringLiteral("record: unknown field \"%1\"").arg(Pair.left(Eq)));
                Changes.emplace_back(Field, Pair.mid(Eq + 1));
                Any = true;
            }
            if (!Any) return BadArguments(QStringLiteral("record: --set needs Field=Value"));
        } else if (A == "--cover") {
            if (Cover) return BadArguments(QStringLiteral("record: give --cover or --no-cover once"));
            if (I + 1 >= Args.size()) return BadArguments(QStringLiteral("record: --cover needs a picture file"));
            QFile Picture(FromArg(Args[++I]));
            if (!Picture.open(QIODevice::ReadOnly))
                return BadArguments(
                    QStringLiteral("record: cannot read %1: %2").arg(Picture.fileName(), Picture.errorString()));
            Cover = Picture.readAll();
            if (Cover->isEmpty())
                return BadArguments(QStringLiteral("record: the picture file %1 is empty").arg(Picture.fileName()));
        } else if (A == "--no-cover") {
            if (Cover) return BadArguments(QStringLiteral("record: give --cover or --no-cover once"));
            Cover = QByteArray();
        } else if (A.rfind("--", 0) == 0) {
            return BadArguments(QStringLiteral("record: unknown option %1").arg(QString::fromStdString(A)));
        } else {
            Files.push_back(FromArg(A));
        }
    }
    if (Files.empty())
        return BadArguments(
            QStringLiteral("record: usage: record FILE... [--set Field=Value... [--cover IMAGE|--no-cover]]"));

    const bool Writing = !Changes.empty() || Cover.has_value();
    TTagService Service;
    int Status = 0;
    for (const QString& File : Files) {
        TAudioTag Tag;
        if (!Service.LoadTag(File, Tag)) {
            if (Writing) {
                std::fprintf(stderr, "%s: %s\n", File.toLocal8Bit().constData(),
                             Service.GetLastError().toLocal8Bit().constData());
                Status = 1;
            } else {
                PrintLine(ErrorJson(File, Service.GetLastError()));
                Status = 1;
            }
            continue;
        }
        if (!Writing) {
            PrintLine(RecordJson(Tag));
            continue;
        }
        for (const auto& [Field, Value] : Changes) Tag.TextField(Field) = Value;
        if (Cover) {
            Tag.CoverData = *Cover;
            Tag.CoverMime = Cover->isEmpty() ? QString() : PictureMime(*Cover);
        }
        Tag.Modified = true;
        if (!Service.SaveTag(Tag)) {
            std::fprintf(stderr, "%s: %s\n", File.toLocal8Bit().constData(),
                         Service.GetLastError().toLocal8Bit().constData());
            Status = 1;
        }
    }
    std::fflush(stdout);
    return Status;
}

int CmdScan(const std::vector<std::string>& AArgs) {
    std::vector<std::string> Args = AArgs;
    int Jobs = 0;
    std::string JobsError;
    if (!TakeJobsOption(Args, Jobs, JobsError))
        return BadArguments(QStringLiteral("scan: ") + QString::fromStdString(JobsError));
    if (Args.size() != 1) return BadArguments(QStringLiteral("scan: usage: scan DIR [-j N]"));
    const QString Root = QFileInfo(FromArg(Args[0])).absoluteFilePath();
    if (!QFileInfo(Root).isDir()) return BadArguments(QStringLiteral("scan: not a folder: %1").arg(Root));
    if (Jobs == 0) Jobs = TParallelLoader::DefaultThreads(Root);

    return WithApplication([&] {
        const TTagService Service;
        long long Files = 0, Failed = 0;
        QElapsedTimer Timer;
        Timer.start();
        TParallelLoader Loader(
            Root,
            [&Service](const QString& Path, TAudioTag& Tag, QString& Error) {
                return Service.LoadTagConcurrently(Path, Tag, Error);
            },
            Jobs);
        Loader.Start();
        TLoadedFile File;
        while (Loader.Next(File)) {
            ++Files;
            if (File.Ok) {
                PrintLine(RecordJson(File.Tag));
            } else {
                ++Failed;
                PrintLine(ErrorJson(File.Path, File.Error));
            }
        }
        char Summary[128];
        std::snprintf(Summary, sizeof Summary, "{\"files\":%lld,\"failed\":%lld,\"seconds\":%.3f}", Files, Failed,
                      Timer.nsecsElapsed() / 1e9);
        PrintLine(Summary);
        std::fflush(stdout);
        return 0;
    });
}

int DefaultJobs(const std::string& Path) {
    return TParallelLoader::DefaultThreads(QFile::decodeName(QByteArray::fromStdString(Path)));
}

bool TakeJobsOption(std::vector<std::string>& Args, int& Jobs, std::string& Error) {
    for (size_t i = 0; i < Args.size(); ++i) {
        std::string Value;
        size_t Taken = 1;
        if (Args[i] == "-j" || Args[i] == "--jobs") {
            if (i + 1 >= Args.size()) {
                Error = Args[i] + " needs a number";
                return false;
            }
            Value = Args[i + 1];
            Taken = 2;
        } else if (Args[i].size() > 2 && Args[i].compare(0, 2, "-j") == 0) {
            Value = Args[i].substr(2);
        } else {
            continue;
        }
        char* End = nullptr;
        const long N = std::strtol(Value.c_str(), &End, 10);
        if (Value.empty() || *End != 0 || N < 1 || N > 64) {
            Error = "-j takes a number from 1 to 64, not '" + Value + "'";
            return false;
        }
        Jobs = static_cast<int>(N);
        Args.erase(Args.begin() + static_cast<std::ptrdiff_t>(i),
                   Args.begin() + static_cast<std::ptrdiff_t>(i + Taken));
        --i;
    }
    return true;
}
