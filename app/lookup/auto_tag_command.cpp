#include "app/lookup/auto_tag_command.h"

#include <QFileInfo>

#include "app/main_model.h"
#include "app/settings/network_settings.h"
#include "app/settings/translation.h"
#include "app/user_interaction.h"

namespace {

const QString kLineBreak = QStringLiteral("\r\n");

}  // namespace

TAutoTagCommand::TAutoTagCommand(TMainModel& Model, IUserInteraction& Ui, IAutoTagUi& Dialogs)
    : FModel(Model), FUi(Ui), FDialogs(Dialogs), FBaseUrl(MusicBrainzBaseUrl())
{
}

TAutoTagCommand::~TAutoTagCommand() = default;

void TAutoTagCommand::Cancel()
{
    if (!FRunning)
        return;
    FCancelled = true;
    if (FService)
        FService->Cancel();
}

void TAutoTagCommand::Run()
{
    if (FRunning)
        return;
    const QStringList Paths = FModel.GetSelectedFiles();
    if (Paths.isEmpty())
        return;
    FRunning = true;
    FCancelled = false;
    FService = std::make_unique<TAutoTagService>(FBaseUrl);
    FService->SetUserAgent(ApplicationUserAgent());
    FService->SetMinIntervalMs(FMinIntervalMs);
    FDialogs.BeginProgress(static_cast<int>(Paths.size()), [this] { Cancel(); });
    // Edits still pending in the editor are applied first (so the search uses
    // them and the save below does not write the editor's older texts over
    // the looked-up values); one undo step covers every selected file.
    int Index = 0;
    FModel.ApplyToSelectedRecords([this, &Index](const QString& Path, TAudioTag& Tag) {
        if (FCancelled)
            return false;
        FDialogs.ShowProgress(Index++, QFileInfo(Path).fileName());
        return LookUpFile(Path, Tag);
    });
    FDialogs.EndProgress();
    FService.reset();

    FModel.Save();
    FModel.RefreshSelection();
    FRunning = false;
}

bool TAutoTagCommand::LookUpFile(const QString& Path, TAudioTag& Tag)
{
    const QString FileName = QFileInfo(Path).fileName();
    if (Tag.Artist.trimmed().isEmpty() || Tag.Title.trimmed().isEmpty()) {
        FUi.Inform(Tr("Need at least Artist and Title to auto-tag:") + kLineBreak + FileName);
        return false;
    }
    FModel.SetStatus(Tr("Searching MusicBrainz: ") + Tag.Artist + QStringLiteral(" - ") + Tag.Title);
    const TAutoTagResult Result = FService->SearchRecording(Tag.Artist, Tag.Title, Tag.Album);
    if (FService->WasCancelled())
        return false;
    if (Result.Candidates.isEmpty()) {
        if (!FService->LastError().isEmpty())
            FUi.Warn(Tr("MusicBrainz service is currently unavailable. Try again in a minute.") + kLineBreak +
                     FService->LastError());
        else
            FUi.Inform(Tr("No matches found for:") + kLineBreak + Tag.Artist + QStringLiteral(" - ") + Tag.Title);
        return false;
    }

    TMBReleaseCandidate Pick;
    if (!FDialogs.PickCandidate(FormatTr("Results for %s", {Path}), Result.Candidates, Pick))
        return false;
    // The picked release is read before anything changes: without it the
    // record would take a title from one release and keep the year of another.
    if (!FService->CompleteFromRelease(Pick)) {
        if (!FService->WasCancelled())
            FUi.Warn(Tr("The chosen release could not be read; the file was left unchanged:") + kLineBreak +
                     FileName + kLineBreak + FService->LastError());
        return false;
    }
    ApplyCandidate(Pick, Tag);
    FModel.SetStatus(Tr("Auto-tag applied: ") + FileName);
    return true;
}
