#include "tests/app/window/window_test_support.h"

#include <QBuffer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QThread>
#include <gtest/gtest.h>

namespace windowtest {

namespace {

// The window model decodes pictures and paints; it needs a GUI application
// object, shared by every test of the process.
class TGuiEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (QCoreApplication::instance()) return;
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        FApp = new QGuiApplication(FArgc, FArgv);
    }
    void TearDown() override {
        delete FApp;
        FApp = nullptr;
    }

private:
    int FArgc = 1;
    char FName[16] = "app_tests";
    char* FArgv[2] = {FName, nullptr};
    QGuiApplication* FApp = nullptr;
};

[[maybe_unused]] ::testing::Environment* const kGuiEnvironment =
    ::testing::AddGlobalTestEnvironment(new TGuiEnvironment);

}  // namespace

bool TFakeTagService::LoadTag(const QString& FileName, TAudioTag& Tag) {
    return LoadTagConcurrently(FileName, Tag, FLastError);
}

bool TFakeTagService::LoadTagConcurrently(const QString& FileName, TAudioTag& Tag, QString& Error) const {
    std::lock_guard Lock(FMutex);
    Tag = TAudioTag();
    Error.clear();
    const auto It = Stored.constFind(FileName);
    if (It == Stored.constEnd()) {
        Error = QStringLiteral("TagsLibrary load error: 65535");
        return false;
    }
    Tag = It.value();
    Tag.FileName = FileName;
    Tag.Modified = false;
    return true;
}

bool TFakeTagService::SaveTag(const TAudioTag& Tag) { return SaveTagConcurrently(Tag, FLastError); }

bool TFakeTagService::SaveTagConcurrently(const TAudioTag& Tag, QString& Error) const {
    if (OnSave) OnSave(Tag.FileName);
    std::lock_guard Lock(FMutex);
    NowMs += SaveCostMs;
    Error.clear();
    if (!QFileInfo(Tag.FileName).isFile()) {
        Error = QStringLiteral("File not found.");
        return false;
    }
    TAudioTag Copy = Tag;
    Copy.Modified = false;
    // An empty record strips the file, as the real service does.
    if (Copy.IsEmpty()) {
        TAudioTag Stripped;
        Stripped.FileName = Tag.FileName;
        Stripped.DurationSec = Tag.DurationSec;
        Copy = Stripped;
    }
    Stored.insert(Tag.FileName, Copy);
    SavedPaths.append(Tag.FileName);
    return true;
}

bool TScriptedUser::Confirm(const QString& Text) {
    Confirmations.append(Text);
    if (ConfirmAnswers.empty()) return false;
    const bool Answer = ConfirmAnswers.front();
    ConfirmAnswers.pop_front();
    return Answer;
}

QString TScriptedUser::AskText(const QString& Caption, const QString& Prompt, const QString& Default) {
    Asked.append(Caption + QLatin1Char('|') + Prompt + QLatin1Char('|') + Default);
    if (TextAnswers.empty()) return QString();
    const QString Answer = TextAnswers.front();
    TextAnswers.pop_front();
    return Answer.trimmed();
}

bool ScanAndWait(TMainModel& Model, const QString& Folder) {
    QEventLoop Loop;
    bool Finished = false;
    const auto Connection = QObject::connect(&Model, &TMainModel::ScanFinished, &Loop, [&] {
        Finished = true;
        Loop.quit();
    });
    QTimer::singleShot(30000, &Loop, &QEventLoop::quit);
    Model.FolderSelected(Folder);
    if (!Finished) Loop.exec();
    QObject::disconnect(Connection);
    return Finished;
}

QByteArray MakePicture(const char* Format, QRgb Colour, int Size) {
    QImage Image(Size, Size, QImage::Format_RGB32);
    Image.fill(Colour);
    QBuffer Buffer;
    Buffer.open(QIODevice::WriteOnly);
    Image.save(&Buffer, Format);
    return Buffer.data();
}

TAudioTag MakeTag(const QString& Path, const QString& Title, const QString& Artist) {
    TAudioTag Tag;
    Tag.FileName = Path;
    Tag.FileType = AudioFileTypeFromExtension(Path);
    Tag.Title = Title;
    Tag.Artist = Artist;
    return Tag;
}

}  // namespace windowtest
