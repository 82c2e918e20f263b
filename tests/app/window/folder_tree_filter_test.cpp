// The folder tree shows every folder, also one named like an archive.
#include <QDir>
#include <QEventLoop>
#include <QFileSystemModel>
#include <QTimer>
#include <gtest/gtest.h>

#include "app/folder_tree_filter.h"
#include "tests/test_util.h"

namespace {

TEST(FolderTreeFilter, ShowsFoldersNamedLikeArchivesAndNoFiles) {
    testutil::TTempDir Dir;
    const QString Root = QString::fromStdString(Dir.path());
    for (const char* Name : {"Music", "backup.zip", "Old.RAR", "rar", "zip.d"})
        ASSERT_TRUE(QDir(Root).mkdir(QLatin1String(Name)));
    testutil::WriteFile(Dir.file("song.mp3"), std::string("x"));

    QFileSystemModel Fs;
    Fs.setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
    QEventLoop Loop;
    QObject::connect(&Fs, &QFileSystemModel::directoryLoaded, &Loop, [&](const QString& Path) {
        if (Path == Root) Loop.quit();
    });
    QTimer::singleShot(10000, &Loop, &QEventLoop::quit);
    Fs.setRootPath(Root);
    Loop.exec();

    TFolderTreeFilter Filter;
    Filter.setSourceModel(&Fs);
    const QModelIndex Parent = Filter.mapFromSource(Fs.index(Root));
    QStringList Shown;
    for (int r = 0; r < Filter.rowCount(Parent); ++r) Shown.append(Filter.index(r, 0, Parent).data().toString());
    Shown.sort();
    EXPECT_EQ(Shown, (QStringList{QStringLiteral("Music"), QStringLiteral("Old.RAR"), QStringLiteral("backup.zip"),
                                  QStringLiteral("rar"), QStringLiteral("zip.d")}));
}

}  // namespace
