#include "app/lookup/auto_tag_command.h"

#include <QFileInfo>
#include <QPointer>

#include "app/main_model.h"
#include "app/settings/network_settings.h"
#include "app/settings/translation.h"

namespace {

const QString kLineBreak = QStringLiteral("\r\n");

}  // namespace

TAutoTagCommand::TAutoTagCommand(TMainModel& Model, IAutoTagUi& Dialogs, QObject* Parent)
    : QObject(Parent),
      FModel(Model),
      FDialogs(Dialogs),
      FBaseUrl(MusicBrainzBaseUrl()),
      FCoverArtUrl(CoverArtArchiveBaseUrl()) {}

TAutoTagCommand::~TAutoTagCommand() {
    // Nothing of a run outlives the command: no callback may reach it.
    if (IsRunning()) {
        FState = stIdle;
        ++FRun;
        FDialogs.EndProgress();
    }
}

void TAutoTagCommand::Run() {
    if (IsRunning() || FModel.GetSelectedFiles().isEmpty()) return;
    // Edits still pending in the editor are applied first (so the search uses
    // them and the save at the end does not write the editor's older texts
    // over the looked-up values).
    FModel.ApplyPendingEdits();
    FPaths = FModel.GetSelectedFiles();
    if (FPaths.isEmpty()) return;
    ++FRun;
    FIndex = -1;
    FResults.clear();
    FCovers.clear();
    FService = std::make_unique<TAutoTagService>(FBaseUrl);
    FService->SetUserAgent(ApplicationUserAgent());
    FService->SetMinIntervalMs(FMinIntervalMs);
    FService->SetCoverArtUrl(FCoverArtUrl);
    connect(FService.get(), &TAutoTagService::SearchFinished, this, &TAutoTagCommand::OnSearchFinished);
    connect(FService.get(), &TAutoTagService::ReleaseFinished, this, &TAutoTagCommand::OnReleaseFinished);
    connect(FService.get(), &TAutoTagService::CoverFinished, this, &TAutoTagCommand::OnCoverFinished);
    FState = stMessage;
    const QPointer<TAutoTagCommand> Self(this);
    const quint64 Run = FRun;
    FDialogs.BeginProgress(static_cast<int>(FPaths.size()), [Self, Run] {
        if (Self && Self->FRun == Run) Self->Cancel();
    });
    NextFile();
}

void TAutoTagCommand::Cancel() {
    if (IsRunning()) Finish();
}

void TAutoTagCommand::NextFile() {
    while (++FIndex < FPaths.size()) {
        const QString& Path = FPaths[FIndex];
        // A file whose record went away meanwhile is passed over.
        if (!FModel.TryGetCachedTag(Path, FTag)) continue;
        const QString FileName = QFileInfo(Path).fileName();
        FDialogs.ShowProgress(FIndex, FileName);
        if (FTag.Artist.trimmed().isEmpty() || FTag.Title.trimmed().isEmpty()) {
            MessageThenNext(false, Tr("Need at least Artist and Title to auto-tag:") + kLineBreak + FileName);
            return;
        }
        FModel.SetStatus(Tr("Searching MusicBrainz: ") + FTag.Artist + QStringLiteral(" - ") + FTag.Title);
        FState = stSearching;
        FService->StartSearch(FTag.Artist, FTag.Title, FTag.Album);
        return;
    }
    Finish();
}

void TAutoTagCommand::MessageThenNext(bool Warning, const QString& Text) {
    FState = stMessage;
    const QPointer<TAutoTagCommand> Self(this);
    const quint64 Run = FRun;
    FDialogs.ShowMessage(Warning, Text, [Self, Run] {
        if (Self && Self->FRun == Run && Self->FState == stMessage) Self->NextFile();
    });
}

void TAutoTagCommand::OnSearchFinished(const TAutoTagResult& Result) {
    if (FState != stSearching) return;
    if (Result.Candidates.isEmpty()) {
        if (!FService->LastError().isEmpty())
            MessageThenNext(true, Tr("MusicBrainz service is currently unavailable. Try again in a minute.") +
                                      kLineBreak + FService->LastError());
        else
            MessageThenNext(
                false, Tr("No matches found for:") + kLineBreak + FTag.Artist + QStringLiteral(" - ") + FTag.Title);
        return;
    }
    FState = stPicking;
    const QPointer<TAutoTagCommand> Self(this);
    const quint64 Run = FRun;
    FDialogs.PickCandidate(FormatTr("Results for %s", {FPaths[FIndex]}), Result.Candidates, FReplaceCovers,
                           [Self, Run](const TAutoTagPickAnswer& Answer) {
                               if (Self) Self->OnPicked(Run, Answer);
                           });
}

void TAutoTagCommand::OnPicked(quint64 Run, const TAutoTagPickAnswer& Answer) {
    if (Run != FRun || FState != stPicking) return;
    // The box keeps the user's last choice for the next file of the run.
    FReplaceCovers = Answer.ReplaceCovers;
    if (!Answer.Picked) {
        NextFile();
        return;
    }
    FReplaceThisFile = Answer.ReplaceCovers;
    // The picked release is read before anything changes: without it the
    // record would take a title from one release and keep the year of another.
    FState = stReading;
    FService->StartRelease(Answer.Pick);
}

void TAutoTagCommand::OnReleaseFinished(bool Ok, const TMBReleaseCandidate& Pick) {
    if (FState != stReading) return;
    const QString& Path = FPaths[FIndex];
    const QString FileName = QFileInfo(Path).fileName();
    if (!Ok) {
        MessageThenNext(true, Tr("The chosen release could not be read; the file was left unchanged:") + kLineBreak +
                                  FileName + kLineBreak + FService->LastError());
        return;
    }
    FPick = Pick;
    FResults.insert(Path, TResult{Pick, {}, {}});
    FModel.SetStatus(Tr("Auto-tag applied: ") + FileName);
    // A file keeps the cover it has unless the user asked to replace it.
    if (Pick.ReleaseId.isEmpty() || (!FTag.CoverData.isEmpty() && !FReplaceThisFile)) {
        NextFile();
        return;
    }
    // Files of one release share its cover: it is fetched once per run.
    const auto Known = FCovers.constFind(Pick.ReleaseId.toLower());
    if (Known != FCovers.constEnd()) {
        TFrontCover Cover = Known.value();
        Cover.Error.clear();  // its failure was reported with the first file
        TakeCover(Cover);
        return;
    }
    FState = stCover;
    FService->StartFrontCover(Pick.ReleaseId);
}

void TAutoTagCommand::OnCoverFinished(const TFrontCover& Cover) {
    if (FState != stCover) return;
    FCovers.insert(FPick.ReleaseId.toLower(), Cover);
    TakeCover(Cover);
}

void TAutoTagCommand::TakeCover(const TFrontCover& Cover) {
    const QString& Path = FPaths[FIndex];
    if (Cover.Found()) {
        TResult& Result = FResults[Path];
        Result.CoverData = Cover.Data;
        Result.CoverMime = Cover.Mime;
    } else if (!Cover.Missing && !Cover.Error.isEmpty()) {
        // The release's other values still go into the file.
        MessageThenNext(true, Tr("The front cover could not be fetched; the other values are still applied:") +
                                  kLineBreak + QFileInfo(Path).fileName() + kLineBreak + Cover.Error);
        return;
    }
    NextFile();
}

void TAutoTagCommand::Finish() {
    if (!IsRunning()) return;
    FState = stIdle;
    ++FRun;
    // The service may be reporting right now: it goes once its signal is done.
    if (FService) {
        FService->Cancel();
        FService.release()->deleteLater();
    }
    FDialogs.EndProgress();

    // One undo step covers every file of the run. The selection is the
    // run's again should anything have changed it meanwhile.
    if (!FResults.isEmpty()) {
        if (FModel.GetSelectedFiles() != FPaths) FModel.SelectFiles(FPaths);
        FModel.ApplyToSelectedRecords([this](const QString& Path, TAudioTag& Tag) {
            const auto Found = FResults.constFind(Path);
            if (Found == FResults.constEnd()) return false;
            ApplyCandidate(Found->Pick, Tag);
            if (!Found->CoverData.isEmpty()) {
                Tag.CoverData = Found->CoverData;
                Tag.CoverMime = Found->CoverMime;
            }
            return true;
        });
        FResults.clear();
    }
    FCovers.clear();
    FModel.Save();
    FModel.RefreshSelection();
    emit Finished();
}
