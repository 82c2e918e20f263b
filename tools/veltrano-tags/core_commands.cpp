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
//   veltrano-tags scan DIR
//       walks DIR like the window does, one record line per audio file, then
//       {"files":N,"failed":F,"seconds":S}.
// Bad arguments: one line on stderr, exit 2.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/core/audio_tag.h"
#include "app/core/file_scanner.h"
#include "app/core/tag_service.h"
#include "tools/veltrano-tags/commands.h"
#include "tools/veltrano-tags/json.h"

namespace {

int BadArguments(const QString& Message)
{
    std::fprintf(stderr, "veltrano-tags: %s\n", Message.toLocal8Bit().constData());
    return 2;
}

QString FromArg(const std::string& Arg) { return QFile::decodeName(QByteArray::fromStdString(Arg)); }

std::string JsonText(const QString& Text) { return JsonString(Text.toStdString()); }

std::string RecordJson(const TAudioTag& Tag)
{
    std::string Out = "{\"file\":" + JsonText(Tag.FileName);
    for (int I = 0; I < TAudioTag::TextFieldCount; ++I)
        Out += ",\"" + std::string(TAudioTag::TextFieldName(I)) + "\":" + JsonText(Tag.TextField(I));
    Out += ",\"DurationSec\":" + std::to_string(Tag.DurationSec);
    Out += ",\"CoverMime\":" + JsonText(Tag.CoverMime);
    Out += ",\"CoverSize\":" + std::to_string(Tag.CoverData.size());
    Out += ",\"FileType\":" + JsonText(QString::fromLatin1(AudioFileTypeName(Tag.FileType)));
    return Out + "}";
}

std::string ErrorJson(const QString& FileName, const QString& Error)
{
    return "{\"file\":" + JsonText(FileName) + ",\"error\":" + JsonText(Error) + "}";
}

void PrintLine(const std::string& Line)
{
    std::fwrite(Line.data(), 1, Line.size(), stdout);
    std::fputc('\n', stdout);
}

// MIME type of a picture file from its first bytes.
QString PictureMime(const QByteArray& Data)
{
    if (Data.startsWith("\xFF\xD8\xFF")) return QStringLiteral("image/jpeg");
    if (Data.startsWith("\x89PNG\r\n\x1A\n")) return QStringLiteral("image/png");
    if (Data.startsWith("GIF8")) return QStringLiteral("image/gif");
    if (Data.startsWith("BM")) return QStringLiteral("image/bmp");
    return QStringLiteral("application/octet-stream");
}

int FieldIndex(const QString& Name)
{
    for (int I = 0; I < TAudioTag::TextFieldCount; ++I)
        if (Name.compare(QLatin1String(TAudioTag::TextFieldName(I)), Qt::CaseInsensitive) == 0)
            return I;
    return -1;
}

// Runs Body with a QCoreApplication, creating one when the process has none.
template <typename F>
int WithApplication(F&& Body)
{
    if (QCoreApplication::instance())
        return Body();
    static int Argc = 1;
    static char Name[] = "veltrano-tags";
    static char* Argv[] = {Name, nullptr};
    QCoreApplication App(Argc, Argv);
    return Body();
}

}  // namespace

int CmdRecord(const std::vector<std::string>& Args)
{
    std::vector<QString> Files;
    std::vector<std::pair<int, QString>> Changes;
    std::optional<QByteArray> Cover;   // set: replace the picture (empty: remove it)
    for (size_t I = 0; I < Args.size(); ++I) {
        const std::string& A = Args[I];
        if (A == "--set") {
            // Every following Field=Value belongs to --set.
            bool Any = false;
            while (I + 1 < Args.size() && Args[I + 1].rfind("--", 0) != 0 && Args[I + 1].find('=') != std::string::npos) {
                const QString Pair = QString::fromStdString(Args[++I]);
                const qsizetype Eq = Pair.indexOf(u'=');
                const int Field = FieldIndex(Pair.left(Eq));
                if (Field < 0)
                    return BadArguments(QStringLiteral("record: unknown field \"%1\"").arg(Pair.left(Eq)));
                Changes.emplace_back(Field, Pair.mid(Eq + 1));
                Any = true;
            }
            if (!Any)
                return BadArguments(QStringLiteral("record: --set needs Field=Value"));
        } else if (A == "--cover") {
            if (Cover)
                return BadArguments(QStringLiteral("record: give --cover or --no-cover once"));
            if (I + 1 >= Args.size())
                return BadArguments(QStringLiteral("record: --cover needs a picture file"));
            QFile Picture(FromArg(Args[++I]));
            if (!Picture.open(QIODevice::ReadOnly))
                return BadArguments(QStringLiteral("record: cannot read %1: %2").arg(Picture.fileName(), Picture.errorString()));
            Cover = Picture.readAll();
            if (Cover->isEmpty())
                return BadArguments(QStringLiteral("record: the picture file %1 is empty").arg(Picture.fileName()));
        } else if (A == "--no-cover") {
            if (Cover)
                return BadArguments(QStringLiteral("record: give --cover or --no-cover once"));
            Cover = QByteArray();
        } else if (A.rfind("--", 0) == 0) {
            return BadArguments(QStringLiteral("record: unknown option %1").arg(QString::fromStdString(A)));
        } else {
            Files.push_back(FromArg(A));
        }
    }
    if (Files.empty())
        return BadArguments(QStringLiteral("record: usage: record FILE... [--set Field=Value... [--cover IMAGE|--no-cover]]"));

    const bool Writing = !Changes.empty() || Cover.has_value();
    TTagService Service;
    int Status = 0;
    for (const QString& File : Files) {
        TAudioTag Tag;
        if (!Service.LoadTag(File, Tag)) {
            if (Writing) {
                std::fprintf(stderr, "%s: %s\n", File.toLocal8Bit().constData(), Service.GetLastError().toLocal8Bit().constData());
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
        for (const auto& [Field, Value] : Changes)
            Tag.TextField(Field) = Value;
        if (Cover) {
            Tag.CoverData = *Cover;
            Tag.CoverMime = Cover->isEmpty() ? QString() : PictureMime(*Cover);
        }
        Tag.Modified = true;
        if (!Service.SaveTag(Tag)) {
            std::fprintf(stderr, "%s: %s\n", File.toLocal8Bit().constData(), Service.GetLastError().toLocal8Bit().constData());
            Status = 1;
        }
    }
    std::fflush(stdout);
    return Status;
}

int CmdScan(const std::vector<std::string>& Args)
{
    if (Args.size() != 1)
        return BadArguments(QStringLiteral("scan: usage: scan DIR"));
    const QString Root = QFileInfo(FromArg(Args[0])).absoluteFilePath();
    if (!QFileInfo(Root).isDir())
        return BadArguments(QStringLiteral("scan: not a folder: %1").arg(Root));

    return WithApplication([&] {
        TTagService Service;
        long long Files = 0, Failed = 0;
        QElapsedTimer Timer;
        Timer.start();
        auto OnProgress = [&](const QString& FileName) {
            TAudioTag Tag;
            ++Files;
            if (Service.LoadTag(FileName, Tag)) {
                PrintLine(RecordJson(Tag));
            } else {
                ++Failed;
                PrintLine(ErrorJson(FileName, Service.GetLastError()));
            }
        };
        auto OnFinished = [] { QCoreApplication::quit(); };
        TFileScanner Scanner(Root, OnProgress, OnFinished);
        Scanner.Start();
        QCoreApplication::exec();
        Scanner.WaitFor();
        char Summary[128];
        std::snprintf(Summary, sizeof Summary, "{\"files\":%lld,\"failed\":%lld,\"seconds\":%.3f}", Files, Failed,
                      Timer.nsecsElapsed() / 1e9);
        PrintLine(Summary);
        std::fflush(stdout);
        return 0;
    });
}
