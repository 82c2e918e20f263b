// TFolderTreeFilter: the folder tree's view of the file system model.
//
// Shows folders only. Every folder is a real folder here, including one
// named like an archive ("backup.zip"): a Linux desktop does not present
// archive files as folders, so nothing is hidden by its name.
#pragma once

#include <QSortFilterProxyModel>

class TFolderTreeFilter final : public QSortFilterProxyModel {
    Q_OBJECT
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

protected:
    bool filterAcceptsRow(int SourceRow, const QModelIndex& SourceParent) const override;
};
