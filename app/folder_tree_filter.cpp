#include "app/folder_tree_filter.h"

bool TFolderTreeFilter::filterAcceptsRow(int SourceRow, const QModelIndex& SourceParent) const {
    return sourceModel()->index(SourceRow, 0, SourceParent).isValid();
}
