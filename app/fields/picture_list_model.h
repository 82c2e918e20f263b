// TPictureListModel: every picture of the selected files, for the pictures
// list beside the editor's cover.
//
// A row is one picture: its type (front cover, back cover, artist, ... the
// 21 types tags know), description, MIME type, size in bytes and in pixels.
// Pictures of several selected files are matched by type and description;
// one that is not the same in every file shows "<keep>" for what differs.
//
// Its commands change the selected records through the window model's
// ApplyToSelectedRecords (one undo step each, saved with the next save);
// the editor's cover then shows the picture the record takes as its cover
// (the first front cover, as the file is read). The model reads the window
// model's record cache and owns nothing but its rows.
#pragma once

#include <QAbstractTableModel>
#include <QByteArray>
#include <QStringList>
#include <QVector>
#include <functional>

#include "app/core/audio_tag.h"

class TMainModel;

class TPictureListModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    enum TColumn { pcType, pcDescription, pcMime, pcBytes, pcPixels, pcCount };
    struct TRow {
        uint32_t Type = 3;
        QString Description;
        int Occurrence = 0;  // the n-th picture of this type and description in a file
        QString Mime;        // of the first file's picture
        QByteArray Data;
        uint32_t Width = 0, Height = 0;
        bool Differs = false;  // the selected files do not all hold these bytes
    };

    explicit TPictureListModel(TMainModel& Main, QObject* Parent = nullptr);

    void Reload();
    const QVector<TRow>& Rows() const { return FRows; }
    int FileCount() const { return static_cast<int>(FFiles.size()); }

    // Reads a picture file for a tag: false with Error when it cannot be
    // read, is too large, or is no JPEG, PNG, GIF, BMP or WebP picture.
    static bool ReadPictureFile(const QString& FileName, QByteArray& Data, QString& Mime, QString& Error);
    // Adds the picture to every selected file; one of the same type and
    // description there takes its bytes instead.
    bool AddPicture(uint32_t Type, const QString& Description, const QString& FileName, QString& Error);
    // New bytes for a row's picture in every file that holds it.
    bool ReplacePicture(int Row, const QString& FileName, QString& Error);
    // New type and description for a row's picture.
    bool SetTypeAndDescription(int Row, uint32_t Type, const QString& Description);
    bool RemoveRows(const QVector<int>& Rows);
    // Writes a row's bytes (the first selected file's) to FileName.
    bool SavePicture(int Row, const QString& FileName, QString& Error) const;
    // "front.jpg", "back.png": a file name for saving a row's picture.
    static QString SuggestedFileName(const TRow& Row);

    // The 21 picture types' captions in English ("Front cover" ...).
    static QStringList TypeCaptions();
    static QString TypeCaption(uint32_t Type);  // translated
    static QStringList ColumnCaptions();

    int rowCount(const QModelIndex& Parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& Parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& Index, int Role = Qt::DisplayRole) const override;
    QVariant headerData(int Section, Qt::Orientation Orientation, int Role = Qt::DisplayRole) const override;

private:
    bool ChangePictures(const std::function<bool(QVector<TPictureEntry>& Pictures)>& Change);

    TMainModel& FMain;
    QStringList FFiles;
    QVector<TRow> FRows;
};
