// lookup: the window's Auto-Tag on the command line, through the same music
// database client (base address, request spacing, identity and TLS rules).
//
//   veltrano-tags lookup FILE...
//       searches the music database with each file's title and artist and
//       prints one JSON line per candidate (one release of one recording),
//       best first: {"file","release","recording","title","artist","album",
//       "albumartist","date","country","format","track","score"};
//       a file that cannot be read or searched gives {"file":...,"error":...}
//       and exit 1.
//   veltrano-tags lookup FILE --pick N | --release MBID
//       reads the release of candidate N (counting from 1) or of the first
//       candidate on release MBID, writes its title, artist, album, album
//       artist and year into the file as the window does, and prints the
//       candidate's line as written; exit 1 (message on stderr) when nothing
//       was written.
// Bad arguments: one line on stderr, exit 2.
#include <QCoreApplication>
#include <QFile>
#include <QString>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "app/core/audio_tag.h"
#include "app/core/tag_service.h"
#include "app/lookup/auto_tag_service.h"
#include "app/settings/network_settings.h"
#include "tools/veltrano-tags/commands.h"
#include "tools/veltrano-tags/json.h"

namespace {

int LookupBadArguments(const QString& Message)
{
    std::fprintf(stderr, "veltrano-tags: lookup: %s\n", Message.toLocal8Bit().constData());
    return 2;
}

std::string Text(const QString& Value) { return JsonString(Value.toStdString()); }

void PrintJsonLine(const std::string& Line)
{
    std::fwrite(Line.data(), 1, Line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void PrintFailure(const QString& File, const QString& Message)
{
    std::fprintf(stderr, "%s: %s\n", File.toLocal8Bit().constData(), Message.toLocal8Bit().constData());
}

std::string CandidateJson(const QString& File, const TMBReleaseCandidate& C)
{
    return "{\"file\":" + Text(File) + ",\"release\":" + Text(C.ReleaseId) + ",\"recording\":" + Text(C.RecordingId) +
           ",\"title\":" + Text(C.Title) + ",\"artist\":" + Text(C.Artist) + ",\"album\":" + Text(C.Album) +
           ",\"albumartist\":" + Text(C.AlbumArtist) + ",\"date\":" + Text(C.Date) + ",\"country\":" + Text(C.Country) +
           ",\"format\":" + Text(C.Format) + ",\"track\":" + Text(C.TrackPosition()) +
           ",\"score\":" + std::to_string(C.Score) + "}";
}

// Which candidate to write: by its place in the list or by its release.
struct TChoice {
    int Number = 0;        // counts from 1; 0 when chosen by release
    QString ReleaseId;
};

// Loads File and searches for it; false with Error set when either fails.
bool Search(TTagService& Tags, TAutoTagService& Service, const QString& File, TAudioTag& Tag,
            QVector<TMBReleaseCandidate>& Candidates, QString& Error)
{
    if (!Tags.LoadTag(File, Tag)) {
        Error = Tags.GetLastError();
        return false;
    }
    if (Tag.Artist.trimmed().isEmpty() || Tag.Title.trimmed().isEmpty()) {
        Error = QStringLiteral("the file needs an artist and a title to be looked up");
        return false;
    }
    Candidates = Service.SearchRecording(Tag.Artist, Tag.Title, QString()).Candidates;
    if (Candidates.isEmpty() && !Service.LastError().isEmpty()) {
        Error = Service.LastError();
        return false;
    }
    return true;
}

int WriteChoice(TTagService& Tags, TAutoTagService& Service, const QString& File, const TChoice& Choice)
{
    TAudioTag Tag;
    QVector<TMBReleaseCandidate> Candidates;
    QString Error;
    if (!Search(Tags, Service, File, Tag, Candidates, Error)) {
        PrintFailure(File, Error);
        return 1;
    }
    qsizetype Index = -1;
    if (Choice.Number > 0) {
        if (Choice.Number > Candidates.size()) {
            PrintFailure(File, QStringLiteral("there is no candidate %1 (%2 found)").arg(Choice.Number).arg(Candidates.size()));
            return 1;
        }
        Index = Choice.Number - 1;
    } else {
        for (qsizetype I = 0; I < Candidates.size() && Index < 0; ++I)
            if (Candidates[I].ReleaseId.compare(Choice.ReleaseId, Qt::CaseInsensitive) == 0)
                Index = I;
        if (Index < 0) {
            PrintFailure(File, QStringLiteral("no candidate is on release %1 (%2 found)").arg(Choice.ReleaseId).arg(Candidates.size()));
            return 1;
        }
    }
    TMBReleaseCandidate Pick = Candidates[Index];
    // Nothing is written unless the release was read: the file would
    // otherwise describe two releases.
    if (!Service.CompleteFromRelease(Pick)) {
        PrintFailure(File, QStringLiteral("the release could not be read, the file was left unchanged: ") + Service.LastError());
        return 1;
    }
    ApplyCandidate(Pick, Tag);
    Tag.Modified = true;
    if (!Tags.SaveTag(Tag)) {
        PrintFailure(File, Tags.GetLastError());
        return 1;
    }
    PrintJsonLine(CandidateJson(File, Pick));
    return 0;
}

}  // namespace

int CmdLookup(const std::vector<std::string>& Args)
{
    std::vector<QString> Files;
    std::optional<TChoice> Choice;
    for (size_t I = 0; I < Args.size(); ++I) {
        const std::string& A = Args[I];
        if (A == "--pick" || A == "--release") {
            if (Choice)
                return LookupBadArguments(QStringLiteral("give --pick or --release once"));
            if (I + 1 >= Args.size())
                return LookupBadArguments(QString::fromStdString(A) + QStringLiteral(" needs a value"));
            const QString Value = QString::fromStdString(Args[++I]).trimmed();
            TChoice C;
            if (A == "--pick") {
                bool Ok = false;
                C.Number = Value.toInt(&Ok);
                if (!Ok || C.Number < 1)
                    return LookupBadArguments(QStringLiteral("--pick needs a number from 1: %1").arg(Value));
            } else {
                if (!TAutoTagService::IsMusicBrainzId(Value))
                    return LookupBadArguments(QStringLiteral("--release needs a release identifier: %1").arg(Value));
                C.ReleaseId = Value;
            }
            Choice = C;
        } else if (A.rfind("--", 0) == 0) {
            return LookupBadArguments(QStringLiteral("unknown option %1").arg(QString::fromStdString(A)));
        } else {
            Files.push_back(QFile::decodeName(QByteArray::fromStdString(A)));
        }
    }
    if (Files.empty() || (Choice && Files.size() != 1))
        return LookupBadArguments(QStringLiteral("usage: lookup FILE... | lookup FILE --pick N | lookup FILE --release MBID"));

    // The network client runs on an event loop of the process's application.
    static int Argc = 1;
    static char Name[] = "veltrano-tags";
    static char* Argv[] = {Name, nullptr};
    std::optional<QCoreApplication> App;
    if (!QCoreApplication::instance())
        App.emplace(Argc, Argv);

    TTagService Tags;
    TAutoTagService Service(MusicBrainzBaseUrl());
    Service.SetUserAgent(ApplicationUserAgent());
    if (Choice)
        return WriteChoice(Tags, Service, Files.front(), *Choice);

    int Status = 0;
    for (const QString& File : Files) {
        TAudioTag Tag;
        QVector<TMBReleaseCandidate> Candidates;
        QString Error;
        if (!Search(Tags, Service, File, Tag, Candidates, Error)) {
            PrintJsonLine("{\"file\":" + Text(File) + ",\"error\":" + Text(Error) + "}");
            Status = 1;
            continue;
        }
        for (const TMBReleaseCandidate& C : Candidates)
            PrintJsonLine(CandidateJson(File, C));
    }
    return Status;
}
