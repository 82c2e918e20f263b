// The program's own pictures: toolbar icons, the cover placeholder and the
// small file-type icons of the file list, drawn in code so that the program
// needs no icon theme and looks the same on every desktop.
#pragma once

#include <QIcon>
#include <QImage>
#include <QString>

#include "app/core/audio_tag.h"

enum TAppIcon {
    aiNewFolder,
    aiRenameFolder,
    aiRescan,
    aiPlay,
    aiSave,
    aiUndo,
    aiRemoveTags,
    aiAutoTag,
    aiQuickAction,
    aiRenameFile,
    aiTagToName,
    aiCopy,
    aiMove,
    aiDelete,
    aiAbout,
    aiApplication,
    aiCount
};

QIcon AppIcon(TAppIcon Icon);
// The music symbol shown while the picture display holds no picture.
QImage CoverPlaceholder(int Size);
// 16-pixel icon of an audio file type for the first list column.
QIcon FileTypeIcon(TAudioFileType Type);
