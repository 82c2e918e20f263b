// export: the list the window would show, as a CSV table or an M3U8 playlist.
//
//   veltrano-tags export --csv|--m3u8 OUT DIR_OR_FILE... [-j N]
//       a folder is walked as the window walks it (audio files, natural
//       order), a file is taken as it is; the rows come in the order given.
//       The CSV has the list's nine columns under English captions; the
//       playlist holds each file relative to OUT's folder when it lies in it
//       or below it, else by its absolute path (see app/file_ops/list_export.h).
//       A file that cannot be read keeps its row with empty fields, as in
//       the window, and is named on stderr; exit 1 then, or when OUT cannot
//       be written (it is written whole or not at all).
// Bad arguments: one line on stderr, exit 2.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "app/core/parallel_loader.h"
#include "app/core/tag_service.h"
#include "app/file_list_model.h"
#include "app/file_ops/list_export.h"
#include "tools/veltrano-tags/commands.h"

namespace {

int BadArguments(const char* Message) {
    std::fprintf(stderr, "veltrano-tags: export: %s\n", Message);
    return 2;
}

QString AbsolutePath(const std::string& Arg) {
    return QDir::cleanPath(QFileInfo(QFile::decodeName(QByteArray::fromStdString(Arg))).absoluteFilePath());
}

void Complain(const QString& Path, const QString& Message) {
    std::fprintf(stderr, "veltrano-tags: %s: %s\n", QFile::encodeName(Path).constData(),
                 Message.toLocal8Bit().constData());
}

}  // namespace

int CmdExport(const std::vector<std::string>& AArgs) {
    std::vector<std::string> Args = AArgs;
    int Jobs = 0;
    std::string JobsError;
    if (!TakeJobsOption(Args, Jobs, JobsError)) return BadArguments(JobsError.c_str());
    std::optional<TExportFormat> Format;
    QString Out;
    std::vector<std::string> Inputs;
    for (size_t i = 0; i < Args.size(); ++i) {
        if (Args[i] == "--csv" || Args[i] == "--m3u8") {
            if (Format) return BadArguments("give one of --csv and --m3u8, once");
            if (i + 1 >= Args.size() || Args[i + 1].empty())
                return BadArguments("--csv and --m3u8 need the file to write");
            Format = Args[i] == "--csv" ? TExportFormat::Csv : TExportFormat::M3u8;
            Out = AbsolutePath(Args[++i]);
        } else if (Args[i].rfind("--", 0) == 0) {
            return BadArguments(("unknown option " + Args[i]).c_str());
        } else {
            Inputs.push_back(Args[i]);
        }
    }
    if (!Format || Inputs.empty()) return BadArguments("usage: export --csv|--m3u8 OUT DIR_OR_FILE... [-j N]");

    static int Argc = 1;
    static char Name[] = "veltrano-tags";
    static char* Argv[] = {Name, nullptr};
    std::optional<QCoreApplication> App;
    if (!QCoreApplication::instance()) App.emplace(Argc, Argv);

    const TTagService Service;
    const TLoadFunction Load = [&Service](const QString& Path, TAudioTag& Tag, QString& Error) {
        return Service.LoadTagConcurrently(Path, Tag, Error);
    };
    TFileListModel List;
    int Status = 0;
    auto TakeAll = [&](TParallelLoader& Loader) {
        Loader.Start();
        TLoadedFile File;
        while (Loader.Next(File)) {
            if (!File.Ok) {
                Complain(File.Path, File.Error);
                Status = 1;
                File.Tag = TAudioTag();
            }
            File.Tag.FileName = File.Path;
            List.AddRow(File.Path, File.Tag);
        }
    };
    // Files given one after another are loaded together; a folder in
    // between is walked in its place.
    QStringList Files;
    auto TakeFiles = [&] {
        if (Files.isEmpty()) return;
        TParallelLoader Loader(Files, Load,
                               Jobs > 0 ? Jobs : TParallelLoader::DefaultThreads(QFileInfo(Files[0]).path()));
        TakeAll(Loader);
        Files.clear();
    };
    for (const std::string& Input : Inputs) {
        const QString Path = AbsolutePath(Input);
        const QFileInfo Info(Path);
        if (Info.isDir()) {
            TakeFiles();
            TParallelLoader Loader(Path, Load, Jobs > 0 ? Jobs : TParallelLoader::DefaultThreads(Path));
            TakeAll(Loader);
        } else if (Info.isFile()) {
            Files.append(Path);
        } else {
            Complain(Path, QStringLiteral("no such file or folder"));
            Status = 1;
        }
    }
    TakeFiles();

    QVector<int> Rows;
    for (int r = 0; r < List.RowCountWithPending(); ++r) Rows.append(r);
    QStringList LeftOut;
    const QByteArray Data = *Format == TExportFormat::Csv ? ListCsv(List, Rows) : ListM3u8(List, Rows, Out, LeftOut);
    for (const QString& Path : LeftOut) {
        Complain(Path, QStringLiteral("a path with a line break cannot be written into a playlist; left out"));
        Status = 1;
    }
    QString Error;
    if (!WriteExportFile(Out, Data, Error)) {
        Complain(Out, Error);
        return 1;
    }
    return Status;
}
