// Test doubles and helpers for the main window model: an in-memory tag
// service, a scripted user, a recording shell, and scanning a folder to the end.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>

#include <QEventLoop>
#include <QMap>
#include <QStringList>
#include <QTimer>
#include <deque>
#include <gtest/gtest.h>
#include <memory>
#include <string>

#include "app/core/tag_service.h"
#include "app/main_model.h"
#include "app/user_interaction.h"
#include "tests/test_util.h"

namespace windowtest {

// Tags kept in memory by path. A path must exist on disk to be saved, as with
// the real service, so deleting a file makes its save fail with "File not found.".
class TFakeTagService : public ITagService {
public:
    // Written by the model's save workers too (under the service's lock).
    mutable QMap<QString, TAudioTag> Stored;
    mutable QStringList SavedPaths;
    // The test's clock, in milliseconds; each save advances it by SaveCostMs
    // (a slow disk) without taking any real time.
    mutable std::atomic<qint64> NowMs{0};
    int SaveCostMs = 0;
    // Runs at the start of every save, on the saving thread (a slow disk a
    // test holds up).
    std::function<void(const QString& Path)> OnSave;

    bool LoadTag(const QString& FileName, TAudioTag& Tag) override;
    bool LoadTagConcurrently(const QString& FileName, TAudioTag& Tag, QString& Error) const override;
    bool SaveTag(const TAudioTag& Tag) override;
    bool SaveTagConcurrently(const TAudioTag& Tag, QString& Error) const override;
    QString GetLastError() const override { return FLastError; }
    // Stores Tag under Path while loads of a scan may still run.
    void Store(const QString& Path, const TAudioTag& Tag) {
        std::lock_guard Lock(FMutex);
        Stored.insert(Path, Tag);
    }
    void SetTransactional(bool Value) override { FTransactional = Value; }
    bool GetTransactional() const override { return FTransactional; }

private:
    QString FLastError;
    bool FTransactional = true;
    mutable std::mutex FMutex;  // saves come from the model's writers
};

// Answers questions from a script and records every message shown.
class TScriptedUser : public IUserInteraction {
public:
    std::deque<bool> ConfirmAnswers;  // empty: answers No
    std::deque<QString> TextAnswers;  // empty: cancels
    QString FolderAnswer;             // empty: cancels
    QString ImageFileAnswer;
    QString SaveFileAnswer;  // empty: cancels
    QStringList SaveAsked;   // "caption|filter|suggested" of each save dialog
    QStringList Asked;       // "caption|prompt|default" of each text input
    QStringList Informed, Errors, Confirmations;
    QVector<QVector<TErrorItem>> Reports;

    void Inform(const QString& Text) override { Informed.append(Text); }
    void Warn(const QString& Text) override { Informed.append(Text); }
    void ShowError(const QString& Text) override { Errors.append(Text); }
    bool Confirm(const QString& Text) override;
    QString AskText(const QString& Caption, const QString& Prompt, const QString& Default) override;
    QString PickFolder(const QString&) override { return FolderAnswer; }
    QString PickImageFile() override { return ImageFileAnswer; }
    QString PickSaveFile(const QString& Caption, const QString& Filter, const QString& Suggested) override {
        SaveAsked.append(Caption + u'|' + Filter + u'|' + Suggested);
        return SaveFileAnswer;
    }
    void ShowErrorReport(const QVector<TErrorItem>& Errors) override { Reports.append(Errors); }
};

class TRecordingShell : public IShellActions {
public:
    bool AcceptPlay = true, AcceptOpen = true;
    QStringList Played, Opened, Urls;
    bool PlayFile(const QString& Path) override {
        Played.append(Path);
        return AcceptPlay;
    }
    bool OpenFile(const QString& Path) override {
        Opened.append(Path);
        return AcceptOpen;
    }
    bool OpenUrl(const QString& Url) override {
        Urls.append(Url);
        return true;
    }
};

// Scans Folder and runs the event loop until the scan has finished (fails
// the test after 30 s).
bool ScanAndWait(TMainModel& Model, const QString& Folder);

// Encoded pictures made in memory.
QByteArray MakePicture(const char* Format, QRgb Colour, int Size = 8);

TAudioTag MakeTag(const QString& Path, const QString& Title, const QString& Artist = QString());

inline QString Q(const std::string& S) { return QString::fromStdString(S); }

// A main model over the in-memory tag service, a scripted user and a
// recording shell, with a temporary folder for the files it shows.
class TModelTest : public ::testing::Test {
protected:
    testutil::TTempDir Dir;
    std::shared_ptr<TFakeTagService> Service = std::make_shared<TFakeTagService>();
    TScriptedUser User;
    TRecordingShell Shell;
    TMainModel Model{Service, User, Shell};

    TModelTest() {
        Model.SetClock([this] { return Service->NowMs.load(); });
    }
};

}  // namespace windowtest
