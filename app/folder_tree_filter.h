// TFolderTreeFilter: the folder tree's view of the file system model.
//
// Shows folders only, and hides folders whose name, lower-cased, ends in
// ".zip" or ".rar": archives that a desktop may present as folders are not
// places to scan for audio files.
#pragma once

#include <QSortFilterProxyModel>

class TFolderTreeFilter final : public QSortFilterProxyModel {
    Q_OBJECT
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;
    static bool IsArchiveFolderName(const QString& Name);

protected:
    bool filterAcceptsRow(int SourceRow, const QModelIndex& SourceParent) const override;
};
