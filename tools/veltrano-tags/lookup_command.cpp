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
//   ... --pick N | --release MBID  --cover | --replace-covers
//       also fetch the release's front cover from the cover archive, as the
//       window does: --cover puts it into a file without a cover,
//       --replace-covers into the file whatever it holds. The line then ends
//       with "cover": "added", "replaced", "kept" (the file had one), "none"
//       (the archive has no front cover; not a failure) or "failed" (the tags
//       are still written; the reason on stderr, exit 1).
//
// The requests are chained by the client's signals on the process's event
// loop, which runs once at the top of the command.
// Bad arguments: one line on stderr, exit 2.
#include <QCoreApplication>
#include <QFile>
#include <QTimer>
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

int LookupBadArguments(const QString& Message) {
    std::fprintf(stderr, "veltrano-tags: lookup: %s\n", Message.toLocal8Bit().constData());
    return 2;
}

std::string Text(const QString& Value) { return JsonString(Value.toStdString()); }

void PrintJsonLine(const std::string& Line) {
    std::fwrite(Line.data(), 1, Line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void PrintFailure(const QString& File, const QString& Message) {
    std::fprintf(stderr, "%s: %s\n", File.toLocal8Bit().constData(), Message.toLocal8Bit().constData());
}

std::string CandidateJson(const QString& File, const TMBReleaseCandidate& C) {
    return "{\"file\":" + Text(File) + ",\"release\":" + Text(C.ReleaseId) + ",\"recording\":" + Text(C.RecordingId) +
           ",\"title\":" + Text(C.Title) + ",\"artist\":" + Text(C.Artist) + ",\"album\":" + Text(C.Album) +
           ",\"albumartist\":" + Text(C.AlbumArtist) + ",\"date\":" + Text(C.Date) + ",\"country\":" + Text(C.Country) +
           ",\"format\":" + Text(C.Format) + ",\"track\":" + Text(C.TrackPosition()) +
           ",\"score\":" + std::to_string(C.Score) + "}";
}

// Which candidate to write: by its place in the list or by its release.
struct TChoice {
    int Number = 0;  // counts from 1; 0 when chosen by release
    QString ReleaseId;
};

enum class TCoverChoice { None, IfMissing, Replace };

// The command's steps, each begun when the client reports the one before;
// the event loop ends with the exit status when the last file is done.
class TLookupRun {
public:
    TLookupRun(TTagService& Tags, TAutoTagService& Service, std::vector<QString> Files, std::optional<TChoice> Choice,
               TCoverChoice Cover)
        : FTags(Tags), FService(Service), FFiles(std::move(Files)), FChoice(std::move(Choice)), FCover(Cover) {
        QObject::connect(&FService, &TAutoTagService::SearchFinished, &FService,
                         [this](const TAutoTagResult& Result) { Searched(Result); });
        QObject::connect(&FService, &TAutoTagService::ReleaseFinished, &FService,
                         [this](bool Ok, const TMBReleaseCandidate& Pick) { ReleaseRead(Ok, Pick); });
        QObject::connect(&FService, &TAutoTagService::CoverFinished, &FService,
                         [this](const TFrontCover& Cover) { CoverFetched(Cover); });
    }

    void Start() { NextFile(); }

private:
    const QString& File() const { return FFiles[FIndex]; }

    void NextFile() {
        while (++FIndex < FFiles.size()) {
            // Loads the file and searches for it.
            QString Error;
            if (!FTags.LoadTag(File(), FTag)) {
                Error = FTags.GetLastError();
            } else if (FTag.Artist.trimmed().isEmpty() || FTag.Title.trimmed().isEmpty()) {
                Error = QStringLiteral("the file needs an artist and a title to be looked up");
            } else {
                FService.StartSearch(FTag.Artist, FTag.Title, QString());
                return;
            }
            Fail(Error);
        }
        QCoreApplication::exit(FStatus);
    }

    void Fail(const QString& Error) {
        if (FChoice)
            PrintFailure(File(), Error);
        else
            PrintJsonLine("{\"file\":" + Text(File()) + ",\"error\":" + Text(Error) + "}");
        FStatus = 1;
    }

    void Searched(const TAutoTagResult& Result) {
        const QVector<TMBReleaseCandidate>& Candidates = Result.Candidates;
        if (Candidates.isEmpty() && !FService.LastError().isEmpty()) {
            Fail(FService.LastError());
            NextFile();
            return;
        }
        if (!FChoice) {
            for (const TMBReleaseCandidate& C : Candidates) PrintJsonLine(CandidateJson(File(), C));
            NextFile();
            return;
        }
        qsizetype Index = -1;
        if (FChoice->Number > 0) {
            if (FChoice->Number > Candidates.size()) {
                Fail(QStringLiteral("there is no candidate %1 (%2 found)").arg(FChoice->Number).arg(Candidates.size()));
                NextFile();
                return;
            }
            Index = FChoice->Number - 1;
        } else {
            for (qsizetype I = 0; I < Candidates.size() && Index < 0; ++I)
                if (Candidates[I].ReleaseId.compare(FChoice->ReleaseId, Qt::CaseInsensitive) == 0) Index = I;
            if (Index < 0) {
                Fail(QStringLiteral("no candidate is on release %1 (%2 found)")
                         .arg(FChoice->ReleaseId)
                         .arg(Candidates.size()));
                NextFile();
                return;
            }
        }
        // Nothing is written unless the release was read: the file would
        // otherwise describe two releases.
        FService.StartRelease(Candidates[Index]);
    }

    void ReleaseRead(bool Ok, const TMBReleaseCandidate& Pick) {
        if (!Ok) {
            Fail(QStringLiteral("the release could not be read, the file was left unchanged: ") + FService.LastError());
            NextFile();
            return;
        }
        FPick = Pick;
        ApplyCandidate(Pick, FTag);
        FCoverState.clear();
        if (FCover != TCoverChoice::None) {
            if (Pick.ReleaseId.isEmpty()) {
                FCoverState = QStringLiteral("none");
            } else if (FCover == TCoverChoice::IfMissing && !FTag.CoverData.isEmpty()) {
                FCoverState = QStringLiteral("kept");
            } else {
                FService.StartFrontCover(Pick.ReleaseId);
                return;
            }
        }
        Write();
    }

    void CoverFetched(const TFrontCover& Cover) {
        if (Cover.Found()) {
            FCoverState = FTag.CoverData.isEmpty() ? QStringLiteral("added") : QStringLiteral("replaced");
            FTag.CoverData = Cover.Data;
            FTag.CoverMime = Cover.Mime;
        } else if (Cover.Missing) {
            FCoverState = QStringLiteral("none");
        } else {
            // The tags still go into the file.
            FCoverState = QStringLiteral("failed");
            PrintFailure(File(), QStringLiteral("the front cover could not be fetched: ") + Cover.Error);
            FStatus = 1;
        }
        Write();
    }

    void Write() {
        FTag.Modified = true;
        if (!FTags.SaveTag(FTag)) {
            Fail(FTags.GetLastError());
        } else {
            std::string Line = CandidateJson(File(), FPick);
            if (!FCoverState.isEmpty()) Line.insert(Line.size() - 1, ",\"cover\":" + Text(FCoverState));
            PrintJsonLine(Line);
        }
        NextFile();
    }

    TTagService& FTags;
    TAutoTagService& FService;
    std::vector<QString> FFiles;
    std::optional<TChoice> FChoice;
    TCoverChoice FCover;
    size_t FIndex = size_t(-1);
    TAudioTag FTag;
    TMBReleaseCandidate FPick;
    QString FCoverState;
    int FStatus = 0;
};

}  // namespace

int CmdLookup(const std::vector<std::string>& Args) {
    std::vector<QString> Files;
    std::optional<TChoice> Choice;
    TCoverChoice Cover = TCoverChoice::None;
    for (size_t I = 0; I < Args.size(); ++I) {
        const std::string& A = Args[I];
        if (A == "--cover" || A == "--replace-covers") {
            if (Cover != TCoverChoice::None)
                return LookupBadArguments(QStringLiteral("give --cover or --replace-covers once"));
            Cover = A == "--cover" ? TCoverChoice::IfMissing : TCoverChoice::Replace;
        } else if (A == "--pick" || A == "--release") {
            if (Choice) return LookupBadArguments(QStringLiteral("give --pick or --release once"));
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
        return LookupBadArguments(QStringLiteral(
            "usage: lookup FILE... | lookup FILE --pick N | lookup FILE --release MBID [--cover | --replace-covers]"));
    if (Cover != TCoverChoice::None && !Choice)
        return LookupBadArguments(QStringLiteral("--cover and --replace-covers need --pick or --release"));

    // The network client runs on an event loop of the process's application.
    static int Argc = 1;
    static char Name[] = "veltrano-tags";
    static char* Argv[] = {Name, nullptr};
    std::optional<QCoreApplication> App;
    if (!QCoreApplication::instance()) App.emplace(Argc, Argv);

    TTagService Tags;
    TAutoTagService Service(MusicBrainzBaseUrl());
    Service.SetUserAgent(ApplicationUserAgent());
    TLookupRun Run(Tags, Service, std::move(Files), Choice, Cover);
    // The only event loop of the command, at its top: every request is
    // started from it and reports back to it.
    QTimer::singleShot(0, &Service, [&Run] { Run.Start(); });
    return QCoreApplication::exec();
}
