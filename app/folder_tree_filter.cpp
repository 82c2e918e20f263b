#include "app/folder_tree_filter.h"

bool TFolderTreeFilter::IsArchiveFolderName(const QString& Name)
{
    const QString Lower = Name.toLower();
    return Lower.endsWith(QLatin1String(".zip")) || Lower.endsWith(QLatin1String(".rar"));
}

bool TFolderTreeFilter::filterAcceptsRow(int SourceRow, const QModelIndex& SourceParent) const
{
    const QModelIndex Index = sourceModel()->index(SourceRow, 0, SourceParent);
    return !IsArchiveFolderName(Index.data(Qt::DisplayRole).toString());
}
