#include "app/FileListItem.h"

#include <QTreeWidget>
#include <atomic>
#include <unordered_set>

TFileListItem::TFileListItem() {
    static std::atomic<quint64> next{1};
    serial_ = next++;
}

ListFileInfo* TFileListItem::EntryOf(QTreeWidgetItem* item) {
    auto* row = dynamic_cast<TFileListItem*>(item);
    return row ? row->Entry() : nullptr;
}

void TFileListItem::RemoveRows(QTreeWidget* list, const std::vector<TFileListItem*>& rows) {
    if (rows.size() < 32) {
        for (TFileListItem* row : rows)
            delete row;  // frees the entry too
        return;
    }
    // Deleting items one by one costs a search of the list each; with many rows the list is
    // taken apart once and put together again without them.
    const std::unordered_set<QTreeWidgetItem*> gone(rows.begin(), rows.end());
    QTreeWidgetItem* current = list->currentItem();
    const QList<QTreeWidgetItem*> selected = list->selectedItems();
    const bool updates = list->updatesEnabled();
    list->setUpdatesEnabled(false);
    QList<QTreeWidgetItem*> items = list->invisibleRootItem()->takeChildren();
    QList<QTreeWidgetItem*> kept;
    kept.reserve(items.size());
    for (QTreeWidgetItem* item : items) {
        if (gone.count(item))
            delete item;
        else
            kept << item;
    }
    list->addTopLevelItems(kept);
    if (current && !gone.count(current)) list->setCurrentItem(current, 0, QItemSelectionModel::NoUpdate);
    for (QTreeWidgetItem* item : selected)
        if (!gone.count(item)) item->setSelected(true);
    list->setUpdatesEnabled(updates);
}
