#include "app/FileListItem.h"

ListFileInfo* TFileListItem::EntryOf(QTreeWidgetItem* item) {
    auto* row = dynamic_cast<TFileListItem*>(item);
    return row ? row->Entry() : nullptr;
}
