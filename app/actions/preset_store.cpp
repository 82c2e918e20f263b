#include "app/actions/preset_store.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QSaveFile>
#include <cmath>

namespace {

const char kBom[] = "\xEF\xBB\xBF";

// A string member: missing or null gives the default, a number its text,
// true/false the words; an object or an array is a shape error.
bool ReadString(const QJsonObject& Object, const char* Key, const QString& Default, QString& Out, QString& Error) {
    const QJsonValue V = Object.value(QLatin1String(Key));
    switch (V.type()) {
        case QJsonValue::Undefined:
        case QJsonValue::Null: Out = Default; return true;
        case QJsonValue::String: Out = V.toString(); return true;
        case QJsonValue::Double: {
            const double D = V.toDouble();
            Out = (D == static_cast<double>(static_cast<qint64>(D)) && std::abs(D) < 1e15)
                      ? QString::number(static_cast<qint64>(D))
                      : QString::number(D, 'g', 17);
            return true;
        }
        case QJsonValue::Bool: Out = V.toBool() ? QStringLiteral("true") : QStringLiteral("false"); return true;
        default: Error = QStringLiteral("\"%1\" is not a text").arg(QLatin1String(Key)); return false;
    }
}

}  // namespace

TActionPreset* TActionPresetStore::PresetByIndex(int Index) {
    return Index >= 0 && Index < PresetCount() ? &FPresets[Index] : nullptr;
}

const TActionPreset* TActionPresetStore::PresetByIndex(int Index) const {
    return Index >= 0 && Index < PresetCount() ? &FPresets[Index] : nullptr;
}

int TActionPresetStore::IndexOfName(const QString& Name) const {
    for (int i = 0; i < PresetCount(); ++i) {
        if (SameAsciiName(FPresets[i].Name, Name)) return i;
    }
    return -1;
}

TActionPreset* TActionPresetStore::FindByName(const QString& Name) { return PresetByIndex(IndexOfName(Name)); }

void TActionPresetStore::DeletePresetByIndex(int Index) {
    if (Index >= 0 && Index < PresetCount()) FPresets.removeAt(Index);
}

void TActionPresetStore::CreateDefaultPresets() {
    FPresets.clear();
    TActionPreset Clean{QStringLiteral("Quick Clean"), {}};
    for (int f = 0; f < kTagFieldCount; ++f) {
        const auto Field = static_cast<TTagField>(f);
        Clean.Actions.append({takTrimSpaces, Field, tfTitle, {}, {}});
        Clean.Actions.append({takCollapseSpaces, Field, tfTitle, {}, {}});
    }
    TActionPreset Case{QStringLiteral("Title Case (Title/Artist/Album)"), {}};
    for (TTagField Field : {tfTitle, tfArtist, tfAlbum}) Case.Actions.append({takTitleCase, Field, tfTitle, {}, {}});
    TActionPreset Scene{QStringLiteral("Scene Cleanup (_ . to space)"), {}};
    Scene.Actions.append({takReplaceText, tfTitle, tfTitle, QStringLiteral("_"), QStringLiteral(" ")});
    Scene.Actions.append({takReplaceText, tfTitle, tfTitle, QStringLiteral("."), QStringLiteral(" ")});
    FPresets = {Clean, Case, Scene};
    FLastPresetName = Clean.Name;
}

QString TActionPresetStore::JsonString(const QString& Text) {
    QString Out;
    Out.reserve(Text.size() + 2);
    Out.append(QLatin1Char('"'));
    for (QChar C : Text) {
        const char16_t U = C.unicode();
        switch (U) {
            case u'"': Out.append(QLatin1String("\\\"")); break;
            case u'\\': Out.append(QLatin1String("\\\\")); break;
            case u'/': Out.append(QLatin1String("\\/")); break;
            case u'\b': Out.append(QLatin1String("\\b")); break;
            case u'\t': Out.append(QLatin1String("\\t")); break;
            case u'\n': Out.append(QLatin1String("\\n")); break;
            case u'\f': Out.append(QLatin1String("\\f")); break;
            case u'\r': Out.append(QLatin1String("\\r")); break;
            default:
                if (U < 0x20 || U >= 0x80)
                    Out.append(QLatin1String("\\u") +
                               QString::number(static_cast<uint>(U), 16).rightJustified(4, QLatin1Char('0')).toUpper());
                else
                    Out.append(C);
        }
    }
    Out.append(QLatin1Char('"'));
    return Out;
}

QString TActionPresetStore::ToJson() const {
    QString Out = QStringLiteral("{\"lastPreset\":") + JsonString(FLastPresetName) + QStringLiteral(",\"presets\":[");
    for (int p = 0; p < PresetCount(); ++p) {
        const TActionPreset& Preset = FPresets[p];
        if (p > 0) Out.append(QLatin1Char(','));
        Out.append(QStringLiteral("{\"name\":") + JsonString(Preset.Name) + QStringLiteral(",\"actions\":["));
        for (int a = 0; a < Preset.Actions.size(); ++a) {
            const TTagAction& A = Preset.Actions[a];
            if (a > 0) Out.append(QLatin1Char(','));
            Out.append(QStringLiteral("{\"kind\":") + JsonString(ActionKindName(A.Kind)) +
                       QStringLiteral(",\"target\":") + JsonString(TagFieldName(A.TargetField)) +
                       QStringLiteral(",\"source\":") + JsonString(TagFieldName(A.SourceField)) +
                       QStringLiteral(",\"search\":") + JsonString(A.SearchText) + QStringLiteral(",\"replace\":") +
                       JsonString(A.ReplaceText) + QLatin1Char('}'));
        }
        Out.append(QStringLiteral("]}"));
    }
    Out.append(QStringLiteral("]}"));
    return Out;
}

bool TActionPresetStore::Save(QString& Error) const {
    if (FSaveBlocked) {
        Error = QStringLiteral("The preset file could not be read and is left unchanged: ") + FFileName;
        return false;
    }
    QSaveFile File(FFileName);
    if (!File.open(QIODevice::WriteOnly)) {
        Error = File.errorString() + QStringLiteral(": ") + FFileName;
        return false;
    }
    const QByteArray Text = QByteArray(kBom) + ToJson().toLatin1();
    if (File.write(Text) != Text.size() || !File.commit()) {
        Error = File.errorString() + QStringLiteral(": ") + FFileName;
        File.cancelWriting();
        return false;
    }
    return true;
}

bool TActionPresetStore::Load(QString& Error) {
    auto UseDefaults = [&] {
        FSaveBlocked = false;
        CreateDefaultPresets();
        return Save(Error);
    };
    if (!QFileInfo::exists(FFileName)) return UseDefaults();

    QFile File(FFileName);
    if (!File.open(QIODevice::ReadOnly)) {
        Error = File.errorString() + QStringLiteral(": ") + FFileName;
        FSaveBlocked = true;
        return false;
    }
    QByteArray Bytes = File.readAll();
    File.close();
    if (Bytes.startsWith(kBom)) Bytes.remove(0, 3);

    QJsonParseError Parse{};
    const QJsonDocument Doc = QJsonDocument::fromJson(Bytes, &Parse);
    if (Parse.error != QJsonParseError::NoError) {
        // Not JSON: keep what the user had beside it, then start afresh.
        const QString Bad = FFileName + QStringLiteral(".bad");
        QFile::remove(Bad);
        if (!QFile::copy(FFileName, Bad)) {
            Error = QStringLiteral("Cannot keep the unreadable preset file as ") + Bad;
            FSaveBlocked = true;
            return false;
        }
        return UseDefaults();
    }

    // Read into a fresh list; the store changes only when all of it is read.
    auto Fail = [&](const QString& Why) {
        Error = QStringLiteral("Invalid preset file (") + Why + QStringLiteral("): ") + FFileName;
        FSaveBlocked = true;
        return false;
    };
    if (!Doc.isObject()) return Fail(QStringLiteral("not an object"));
    const QJsonObject Root = Doc.object();
    QString Last;
    if (!ReadString(Root, "lastPreset", QString(), Last, Error)) return Fail(Error);
    QVector<TActionPreset> Presets;
    const QJsonValue PresetsValue = Root.value(QLatin1String("presets"));
    if (!PresetsValue.isUndefined()) {
        if (!PresetsValue.isArray()) return Fail(QStringLiteral("\"presets\" is not an array"));
        for (const QJsonValue& P : PresetsValue.toArray()) {
            if (!P.isObject()) return Fail(QStringLiteral("a preset is not an object"));
            const QJsonObject PObject = P.toObject();
            TActionPreset Preset;
            if (!ReadString(PObject, "name", QString(), Preset.Name, Error)) return Fail(Error);
            const QJsonValue ActionsValue = PObject.value(QLatin1String("actions"));
            if (!ActionsValue.isUndefined()) {
                if (!ActionsValue.isArray()) return Fail(QStringLiteral("\"actions\" is not an array"));
                for (const QJsonValue& A : ActionsValue.toArray()) {
                    if (!A.isObject()) return Fail(QStringLiteral("an action is not an object"));
                    const QJsonObject AObject = A.toObject();
                    QString Kind, Target, Source;
                    TTagAction Action;
                    if (!ReadString(AObject, "kind", QString(), Kind, Error) ||
                        !ReadString(AObject, "target", QStringLiteral("Title"), Target, Error) ||
                        !ReadString(AObject, "source", QStringLiteral("Title"), Source, Error) ||
                        !ReadString(AObject, "search", QString(), Action.SearchText, Error) ||
                        !ReadString(AObject, "replace", QString(), Action.ReplaceText, Error))
                        return Fail(Error);
                    Action.Kind = ActionKindFromName(Kind);
                    Action.TargetField = TagFieldFromName(Target);
                    Action.SourceField = TagFieldFromName(Source);
                    Preset.Actions.append(Action);
                }
            }
            if (!Preset.Name.isEmpty()) Presets.append(Preset);
        }
    }
    FSaveBlocked = false;
    if (Presets.isEmpty()) return UseDefaults();
    FPresets = Presets;
    FLastPresetName = Last;
    if (FLastPresetName.isEmpty() || IndexOfName(FLastPresetName) < 0) FLastPresetName = FPresets.first().Name;
    return true;
}
