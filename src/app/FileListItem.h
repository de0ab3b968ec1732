#pragma once
// A row of the main file list. The row owns its media entry: deleting the row (by any means)
// frees the entry. Columns: 0 file name, 1 duration, 2 estimated size, 3 output name, 4 format.

#include <QTreeWidgetItem>
#include <memory>
#include <vector>

#include "app/CommEntity.h"
#include "app/EntryCopy.h"

class TFileListItem : public QTreeWidgetItem {
public:
    enum Column { colName = 0, colDuration = 1, colSize = 2, colOutput = 3, colFormat = 4 };

    TFileListItem();
    ListFileInfo* Entry() const { return entry_.get(); }
    void SetEntry(std::unique_ptr<ListFileInfo> entry) { entry_ = std::move(entry); }
    // Marked by the probe when the file can't be read; such rows are deleted after the pass.
    bool Failed = false;
    // A number no other row of this run has (moving the row keeps it): the key of its still
    // picture.
    quint64 Serial() const { return serial_; }
    // What the list's journal last wrote of the entry.
    TEntryCopy JournalCopy;

    // The entry of a row of the main list (nullptr for a foreign item).
    static ListFileInfo* EntryOf(QTreeWidgetItem* item);
    // Deletes rows of `list` (and their entries), keeping the current and selected rows that stay.
    static void RemoveRows(QTreeWidget* list, const std::vector<TFileListItem*>& rows);

private:
    std::unique_ptr<ListFileInfo> entry_;
    quint64 serial_;
};
