// guess: record fields from where files lie and what they are called.
//
//   veltrano-tags guess PATTERN FILE... [--apply]
//       one JSON line per file: "file" (as given) and the record fields the
//       pattern gives it (Artist, Album, Title, Track, ...); with --apply
//       the fields are also written into the file through the tag service.
//       A file the pattern does not match, or that cannot be read or
//       written, gives {"file":...,"error":...} and a message on stderr, and
//       the exit status is 1. The pattern reads the file's absolute path, so
//       a bare file name still has its folders.
// A bad pattern or bad arguments: one line on stderr, exit 2.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "app/core/tag_service.h"
#include "app/file_ops/name_pattern.h"
#include "tools/veltrano-tags/commands.h"
#include "tools/veltrano-tags/json.h"

namespace {

std::string Utf8(const QString& Text) { return Text.toStdString(); }

void PrintLine(const std::string& Line) {
    std::fwrite(Line.data(), 1, Line.size(), stdout);
    std::fputc('\n', stdout);
}

// The message on stderr, the error object on stdout.
void Fail(const std::string& File, const QString& Message) {
    std::fprintf(stderr, "veltrano-tags: %s: %s\n", File.c_str(), Message.toLocal8Bit().constData());
    PrintLine("{\"file\":" + JsonString(File) + ",\"error\":" + JsonString(Utf8(Message)) + "}");
}

}  // namespace

int CmdGuess(const std::vector<std::string>& Args) {
    bool Apply = false;
    std::optional<std::string> Pattern;
    std::vector<std::string> Files;
    for (const std::string& A : Args) {
        if (A == "--apply") {
            Apply = true;
        } else if (A.rfind("--", 0) == 0 && A.size() > 2) {
            std::fprintf(stderr, "veltrano-tags: guess: unknown option %s\n", A.c_str());
            return 2;
        } else if (!Pattern) {
            Pattern = A;
        } else {
            Files.push_back(A);
        }
    }
    if (!Pattern || Files.empty()) {
        std::fprintf(stderr, "veltrano-tags: guess: usage: guess PATTERN FILE... [--apply]\n");
        return 2;
    }
    TNamePattern Parsed;
    QString Error;
    if (!Parsed.Parse(QString::fromStdString(*Pattern), Error)) {
        std::fprintf(stderr, "veltrano-tags: guess: %s\n", Error.toLocal8Bit().constData());
        return 2;
    }

    TTagService Service;
    int Status = 0;
    for (const std::string& File : Files) {
        const QString Path = QFile::decodeName(QByteArray::fromStdString(File));
        const std::optional<TGuessedValues> Values = Parsed.Match(QDir::cleanPath(QFileInfo(Path).absoluteFilePath()));
        if (!Values) {
            Fail(File, QStringLiteral("does not match the pattern"));
            Status = 1;
            continue;
        }
        if (Apply) {
            TAudioTag Tag;
            if (!Service.LoadTag(Path, Tag)) {
                Fail(File, Service.GetLastError());
                Status = 1;
                continue;
            }
            ApplyGuessedValues(Tag, *Values);
            Tag.Modified = true;
            if (!Service.SaveTag(Tag)) {
                Fail(File, Service.GetLastError());
                Status = 1;
                continue;
            }
        }
        std::string Line = "{\"file\":" + JsonString(File);
        for (const TGuessedValue& V : *Values)
            Line += ",\"" + std::string(TAudioTag::TextFieldName(V.Field)) + "\":" + JsonString(Utf8(V.Value));
        PrintLine(Line + "}");
    }
    std::fflush(stdout);
    return Status;
}
