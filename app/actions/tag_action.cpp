#include "app/actions/tag_action.h"

namespace {

const char* const kKindNames[kTagActionKindCount] = {
    "TrimSpaces", "UpperCase", "LowerCase", "TitleCase", "ReplaceText", "CopyField", "CollapseSpaces",
};
const char* const kFieldNames[kTagFieldCount] = {"Title", "Artist", "Album", "Year", "Track", "Genre", "Comment"};

bool IsBlank(QChar C) { return C.unicode() <= 0x20; }

bool IsWordChar(QChar C) {
    switch (C.category()) {
        case QChar::Letter_Uppercase:
        case QChar::Letter_Lowercase:
        case QChar::Letter_Titlecase:
        case QChar::Letter_Modifier:
        case QChar::Letter_Other:
        case QChar::Number_DecimalDigit: return true;
        default: return false;
    }
}

}  // namespace

QString ActionKindName(TTagActionKind Kind) { return QLatin1String(kKindNames[Kind < kTagActionKindCount ? Kind : 0]); }

QString TagFieldName(TTagField Field) { return QLatin1String(kFieldNames[Field < kTagFieldCount ? Field : 0]); }

TTagActionKind ActionKindFromName(const QString& Name) {
    const QString Key = AsciiLower(TrimSpaces(Name));
    for (int k = 0; k < kTagActionKindCount; ++k) {
        if (Key == AsciiLower(QLatin1String(kKindNames[k]))) return static_cast<TTagActionKind>(k);
    }
    return takTrimSpaces;
}

TTagField TagFieldFromName(const QString& Name) {
    const QString Key = AsciiLower(TrimSpaces(Name));
    for (int f = 0; f < kTagFieldCount; ++f) {
        if (Key == AsciiLower(QLatin1String(kFieldNames[f]))) return static_cast<TTagField>(f);
    }
    return tfTitle;
}

QString ReadTagField(const TAudioTag& Tag, TTagField Field) {
    switch (Field) {
        case tfTitle: return Tag.Title;
        case tfArtist: return Tag.Artist;
        case tfAlbum: return Tag.Album;
        case tfYear: return Tag.Year;
        case tfTrack: return Tag.Track;
        case tfGenre: return Tag.Genre;
        case tfComment: return Tag.Comment;
    }
    return QString();
}

void WriteTagField(TAudioTag& Tag, TTagField Field, const QString& Value) {
    switch (Field) {
        case tfTitle: Tag.Title = Value; break;
        case tfArtist: Tag.Artist = Value; break;
        case tfAlbum: Tag.Album = Value; break;
        case tfYear: Tag.Year = Value; break;
        case tfTrack: Tag.Track = Value; break;
        case tfGenre: Tag.Genre = Value; break;
        case tfComment: Tag.Comment = Value; break;
    }
}

QString TrimSpaces(const QString& Text) {
    qsizetype Begin = 0, End = Text.size();
    while (Begin < End && IsBlank(Text[Begin])) ++Begin;
    while (End > Begin && IsBlank(Text[End - 1])) --End;
    return Text.mid(Begin, End - Begin);
}

QString CollapseSpaces(const QString& Text) {
    QString Out;
    Out.reserve(Text.size());
    bool InRun = false;
    for (QChar C : Text) {
        if (IsBlank(C)) {
            if (!InRun) Out.append(QLatin1Char(' '));
            InRun = true;
        } else {
            Out.append(C);
            InRun = false;
        }
    }
    return TrimSpaces(Out);
}

QString AsciiUpper(const QString& Text) {
    QString Out = Text;
    for (QChar& C : Out) {
        if (C >= QLatin1Char('a') && C <= QLatin1Char('z')) C = QChar(C.unicode() - 32);
    }
    return Out;
}

QString AsciiLower(const QString& Text) {
    QString Out = Text;
    for (QChar& C : Out) {
        if (C >= QLatin1Char('A') && C <= QLatin1Char('Z')) C = QChar(C.unicode() + 32);
    }
    return Out;
}

QString TitleCase(const QString& Text) {
    QString Out = Text;
    bool WordStart = true;
    for (QChar& C : Out) {
        if (IsWordChar(C)) {
            // Single-unit mappings keep the length (QChar maps one unit to one).
            C = WordStart ? C.toUpper() : C.toLower();
            WordStart = false;
        } else {
            WordStart = true;
        }
    }
    return Out;
}

QString ReplaceAll(const QString& Text, const QString& Search, const QString& Replace) {
    if (Search.isEmpty()) return Text;
    QString Out;
    qsizetype From = 0;
    for (;;) {
        const qsizetype At = Text.indexOf(Search, From, Qt::CaseSensitive);
        if (At < 0) break;
        Out.append(QStringView(Text).mid(From, At - From));
        Out.append(Replace);
        From = At + Search.size();
    }
    Out.append(QStringView(Text).mid(From));
    return Out;
}

void ApplyActions(TAudioTag& Tag, const QVector<TTagAction>& Actions, int LastIndex) {
    const int Last = std::min(LastIndex, static_cast<int>(Actions.size()) - 1);
    for (int i = 0; i <= Last; ++i) {
        const TTagAction& A = Actions[i];
        if (A.Kind == takCopyField) {
            WriteTagField(Tag, A.TargetField, ReadTagField(Tag, A.SourceField));
            continue;
        }
        const QString Text = ReadTagField(Tag, A.TargetField);
        QString Result;
        switch (A.Kind) {
            case takTrimSpaces: Result = TrimSpaces(Text); break;
            case takUpperCase: Result = AsciiUpper(Text); break;
            case takLowerCase: Result = AsciiLower(Text); break;
            case takTitleCase: Result = TitleCase(Text); break;
            case takReplaceText: Result = ReplaceAll(Text, A.SearchText, A.ReplaceText); break;
            case takCollapseSpaces: Result = CollapseSpaces(Text); break;
            default: continue;  // an unknown kind is skipped
        }
        WriteTagField(Tag, A.TargetField, Result);
    }
}

bool SameAsciiName(const QString& A, const QString& B) {
    return A.size() == B.size() && AsciiLower(A) == AsciiLower(B);
}
