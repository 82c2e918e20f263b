// TActionPresetStore: the user's quick-action presets and their JSON file.
//
// The store owns its presets (kept by value, in file order) and remembers
// the preset run last, which is also the default one. The file is one line
// of ASCII JSON after a UTF-8 byte-order mark; strings are escaped so that
// every character from U+0080 up is a \u escape.
//
// Nothing the user made is lost to a bad file: the file is replaced through
// a temporary file renamed over it; a file that is not JSON at all is kept
// as "<file>.bad" before the defaults are written; a JSON file of the wrong
// shape leaves the presets in memory as they were and refuses every save
// over it until a later load succeeds.
#pragma once

#include <QString>
#include <QVector>

#include "app/actions/tag_action.h"

class TActionPresetStore {
public:
    explicit TActionPresetStore(const QString& FileName) : FFileName(FileName) {}

    QString FileName() const { return FFileName; }
    int PresetCount() const { return static_cast<int>(FPresets.size()); }
    // nullptr for an index outside 0..PresetCount()-1.
    TActionPreset* PresetByIndex(int Index);
    const TActionPreset* PresetByIndex(int Index) const;
    // The first preset of that name (ASCII letters without regard to case;
    // not trimmed), or nullptr.
    TActionPreset* FindByName(const QString& Name);
    int IndexOfName(const QString& Name) const;
    void AddPreset(const TActionPreset& Preset) { FPresets.append(Preset); }
    // An index outside the list is ignored; LastPresetName is left alone.
    void DeletePresetByIndex(int Index);
    // The three defaults; "Quick Clean" becomes the last preset. Not saved.
    void CreateDefaultPresets();

    QString LastPresetName() const { return FLastPresetName; }
    void SetLastPresetName(const QString& Name) { FLastPresetName = Name; }

    // Replaces the in-memory presets from the file. A missing file, text
    // that is not JSON, or no named preset gives the defaults, written back
    // at once. False with Error for a file that cannot be read, a file of
    // the wrong shape, or a failed write of the defaults; the presets in
    // memory then stay as they were.
    bool Load(QString& Error);
    // Writes every preset; false with Error (nothing changed on disk) when
    // the file cannot be written or a failed load protects it.
    bool Save(QString& Error) const;
    bool SaveBlocked() const { return FSaveBlocked; }

    // The file's text after the byte-order mark.
    QString ToJson() const;
    // One JSON string literal with this store's escaping.
    static QString JsonString(const QString& Text);

private:
    QString FFileName;
    QVector<TActionPreset> FPresets;
    QString FLastPresetName;
    bool FSaveBlocked = false;
};
