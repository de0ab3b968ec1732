// The main window's media file list: adding files, folders and drops, probing, and the row
// operations (remove, clear, move, check, rename, file information, context menu).
#include <QCollator>
#include <QDir>
#include <QDirIterator>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QLocale>
#include <QMimeData>
#include <QSignalBlocker>
#include <QUrl>
#include <limits>
#include <optional>

#include "app/DialogLook.h"
#include "app/DialogSeam.h"
#include "app/FileListItem.h"
#include "app/ListJournal.h"
#include "app/MainFrm.h"
#include "app/UiBreather.h"
#include "app/Utils.h"
#include "convert/ErrorFileDlg.h"
#include "convert/RenameDlg.h"
#include "engine/probe/AVProbe.h"
#include "engine/transcode/FFmpegTasks.h"
#include "profiles/ParaInfo.h"
#include "profiles/ProfileMenu.h"
#include "settings/Lang.h"
#include "tools/CalFileInfoDlg.h"
#include "tools/EntryProbe.h"
#include "tools/FileInfoDlg.h"

namespace {
// Rows added to the list at a time; a thousand take a few milliseconds.
constexpr qsizetype kRowChunk = 1000;
}  // namespace

QString TfrmMain::CategoryTagOf(const TFormatInfo* info) {
    if (!info) return QString();
    const TCategory* category = FindCategory(info->Categoryid);
    return category ? category->CategoryTag : QString();
}

TFileListItem* TfrmMain::MakeRow(const QString& caption, const QString& output, const QString& format,
                                 const QString& tip, std::unique_ptr<ListFileInfo> entry) {
    auto* row = new TFileListItem;
    row->setText(TFileListItem::colName, caption);
    row->setText(TFileListItem::colOutput, output);
    row->setText(TFileListItem::colFormat, format);
    for (int c = 0; c < 5; ++c)
        row->setTextAlignment(c, Qt::AlignCenter);
    row->setTextAlignment(TFileListItem::colName, Qt::AlignLeft | Qt::AlignVCenter);
    row->setToolTip(TFileListItem::colName, tip);
    row->SetEntry(std::move(entry));
    row->setFlags(row->flags() | Qt::ItemIsUserCheckable);
    row->setCheckState(TFileListItem::colName, Qt::Checked);
    return row;
}

QString TfrmMain::ProbeCacheFile() {
    return GetAppDataFolder() + QStringLiteral("probecache.db");
}

TAVProbe* TfrmMain::Probe() {
    return &FFmpegTasks->AVProbe();
}

int TfrmMain::RowCount() const {
    return FileListView->topLevelItemCount();
}

TFileListItem* TfrmMain::Row(int index) const {
    return dynamic_cast<TFileListItem*>(FileListView->topLevelItem(index));
}

TFileListItem* TfrmMain::SelectedRow() const {
    const QList<QTreeWidgetItem*> selected = FileListView->selectedItems();
    return selected.isEmpty() ? nullptr : dynamic_cast<TFileListItem*>(selected.first());
}

std::unique_ptr<TFormatInfo> TfrmMain::ParametersForNewRows() const {
    if (RowCount() > 0) {
        const ListFileInfo* first = Row(0) ? Row(0)->Entry() : nullptr;
        if (first && first->formatInfo) return first->formatInfo->Clone();
    }
    return GetFormatInfo(PaneProfile->Tag);
}

void TfrmMain::spSkinBtnAddClick() {
    const QStringList paths =
        MessageDialogs().OpenFiles(QString(), GetLangText(QStringLiteral("dlgFileFilter")), this);
    if (!paths.isEmpty()) AddVideFiles(paths);
}

void TfrmMain::MenuAddFolderClick() {
    QString folder;
    if (!BrowseForFolder(GetLangText(QStringLiteral("DlgAddFolderTitle")), this, folder)) return;
    const QStringList paths = folderEntries(folder);
    if (!paths.isEmpty()) AddVideFiles(paths);
}

QStringList TfrmMain::folderEntries(const QString& folder) {
    // Files by name, then subfolders by name. The type comes with the folder listing, so a
    // folder of many thousand files costs no look-up per file.
    QStringList files, folders;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    TUiBreather breather;
    while (it.hasNext()) {
        it.next();
        (it.fileInfo().isDir() ? folders : files) << it.fileName();
        breather.Breathe();
    }
    std::sort(files.begin(), files.end());
    breather.Breathe();
    std::sort(folders.begin(), folders.end());
    QStringList paths;
    paths.reserve(files.size() + folders.size());
    for (const QString& name : std::as_const(files)) {
        paths << JoinPath(folder, name);
        breather.Breathe();
    }
    for (const QString& name : std::as_const(folders))
        paths << JoinPath(folder, name);
    return paths;
}

void TfrmMain::AddStartupPaths(const QStringList& args) {
    QStringList paths;
    for (const QString& arg : args) {
        const QFileInfo info(arg);
        const QString path = QDir::cleanPath(info.absoluteFilePath());
        if (info.isDir())
            paths << folderEntries(path);
        else
            paths << path;  // a file that can't be read is listed among the failures
    }
    if (!paths.isEmpty()) AddVideFiles(paths);
}

void TfrmMain::AddVideFiles(const QStringList& paths) {
    AddVideFileRows(paths);
    GetVideoFileInfo();
}

void TfrmMain::AddVideFileRows(const QStringList& paths) {
    const std::unique_ptr<TFormatInfo> params = ParametersForNewRows();
    const QString format = params ? params->Format : QString();
    const QString tag = CategoryTagOf(params.get());
    // Rows go in by the thousand, the window answering in between. The journal's copies of the
    // new entries are made here too, spread like the rows, rather than all at once at the next
    // write.
    const bool journaled = ListJournal && ListJournal->Acquired();
    TUiBreather breather;
    QList<QTreeWidgetItem*> rows;
    for (qsizetype i = 0; i < paths.size(); i += kRowChunk) {
        rows.clear();
        for (qsizetype j = i; j < std::min(paths.size(), i + kRowChunk); ++j) {
            const QString& path = paths[j];
            const QString caption = path.mid(path.lastIndexOf('/') + 1);
            auto entry = std::make_unique<ListFileInfo>();
            entry->IsYutubeFile = false;
            entry->FileName = path;
            entry->CategoryTag = tag;
            entry->formatInfo = params ? params->Clone() : nullptr;
            TFileListItem* row = MakeRow(caption, OutputNameOf(caption), format, path, std::move(entry));
            if (journaled) row->JournalCopy.Of(*row->Entry());
            rows << row;
            // On a busy machine a thousand rows can take longer than the window may wait.
            breather.Breathe();
        }
        FileListView->setUpdatesEnabled(false);
        FileListView->addTopLevelItems(rows);
        FileListView->setUpdatesEnabled(true);
        breather.Breathe();
    }
}

void TfrmMain::GetVideoFileInfo() {
    const std::unique_ptr<TFormatInfo> params = ParametersForNewRows();
    TCalFileInfoDlg dlg(this);
    dlg.SetProbe(Probe());
    dlg.OnPassDone = [this] { FFmpegTasks->ClearTasks(); };
    dlg.VBitRate = params ? params->EncParam.VideoBitrate : 0;
    dlg.ABitRate = params ? params->EncParam.AudioBitrate : 0;
    dlg.CacheFile = ProbeCacheFile();
    dlg.SetUIAndFFTasks(FileListView);
    // The probe's workers fill the entries: the journal waits until they are done, after it
    // has copied the new rows a slice at a time.
    if (ListJournal) {
        ListJournal->Settle();
        ListJournal->Hold();
    }
    dlg.exec();
    if (ListJournal) ListJournal->Release();
    const QStringList failed = dlg.ErroFileList;
    FFMPEGLog.Info(
        QStringLiteral("File list: %1 files, %2 could not be read").arg(RowCount()).arg(failed.size()));
    for (qsizetype i = 0; i < failed.size(); ++i)
        FFMPEGLog.Info(QStringLiteral("Not added: %1: %2").arg(failed[i], dlg.ErroReasonList.value(i)));
    if (dlg.UnprobedCount > 0)
        FFMPEGLog.Info(QStringLiteral("Reading stopped: %1 files not added").arg(dlg.UnprobedCount));

    if (!failed.isEmpty()) {
        TErrorFileDlg errors(this);
        errors.SetErroFiles(failed, dlg.ErroReasonList);
        MessageDialogs().ExecDialog(&errors);
    }
    showListAfterAdding();
}

void TfrmMain::showListAfterAdding() {
    const int count = RowCount();
    if (count > 0) {
        ShowFileListState();
        btnClip->setEnabled(true);
    } else {
        ShowEmptyListState();
    }
    if (count == 1) {
        FileListView->setCurrentItem(Row(0));
        Row(0)->setSelected(true);
        setPreviewTitle(Row(0)->text(TFileListItem::colName));
    }
    CkbMerge->setEnabled(count >= 2);
    LockMainEditMenu();
}

void TfrmMain::setPreviewTitle(const QString& caption) {
    const QString shown = caption.size() > 15 ? caption.left(15) + QStringLiteral("...") : caption;
    LbVideoFileTitle->setText(DialogLook::TextOr(QStringLiteral("PreviewTitle"), QStringLiteral("Preview:")) +
                              shown);
    LbVideoFileTitle->setToolTip(caption);
}

void TfrmMain::spSkinBtnRemoveClick() {
    TFileListItem* row = SelectedRow();
    if (!row) return;
    delete row;  // frees the entry
    if (RowCount() == 0) {
        btnClip->setEnabled(false);
        ShowEmptyListState();
    }
    CkbMerge->setEnabled(RowCount() >= 2);
    FileListViewSelectItem();
}

void TfrmMain::spSkinBtnClearClick() {
    FileListView->clear();
    btnClip->setEnabled(false);
    ShowEmptyListState();
    FileListViewSelectItem();
}

void TfrmMain::moveSelectedRow(int delta) {
    TFileListItem* row = SelectedRow();
    if (!row) return;
    const int index = FileListView->indexOfTopLevelItem(row);
    const int target = index + delta;
    if (target < 0 || target >= RowCount()) return;
    // The row object travels with its entry: probe data, clip range and tag stay, and it is
    // not probed again.
    FileListView->takeTopLevelItem(index);
    FileListView->insertTopLevelItem(target, row);
    FileListView->header()->setSortIndicatorShown(false);  // the order is the user's own now
    FileListView->clearSelection();
    FileListView->setCurrentItem(row);
    row->setSelected(true);
    FileListView->setFocus();
}

void TfrmMain::SortRowsBy(int column) {
    QHeaderView* header = FileListView->header();
    const bool again = header->isSortIndicatorShown() && header->sortIndicatorSection() == column;
    const Qt::SortOrder order = again && header->sortIndicatorOrder() == Qt::AscendingOrder
                                    ? Qt::DescendingOrder
                                    : Qt::AscendingOrder;
    SortRows(column, order);
}

namespace {
// The size column's text as a number of megabytes; an estimate not known yet ("~") sorts last.
double sizeColumnValue(const QString& text) {
    QString digits;
    for (const QChar c : text)
        if (c.isDigit() || c == '.')
            digits += c;
        else if (!digits.isEmpty())
            break;
    bool ok = false;
    const double value = digits.toDouble(&ok);
    return ok ? value : std::numeric_limits<double>::infinity();
}
}  // namespace

void TfrmMain::SortRows(int column, Qt::SortOrder order) {
    const int count = RowCount();
    if (count == 0 || column < 0 || column >= FileListView->columnCount()) return;
    struct Key {
        std::optional<QCollatorSortKey> text;
        double number = 0;
        TFileListItem* row = nullptr;
    };
    std::vector<Key> keys;
    keys.reserve(count);
    // The "C" locale collates by code point, without case folding or numbers; names are then
    // ordered as in English.
    QLocale locale;
    if (locale.language() == QLocale::C) locale = QLocale(QLocale::English);
    QCollator collator(locale);
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    const bool numeric = column == TFileListItem::colDuration || column == TFileListItem::colSize;
    for (int i = 0; i < count; ++i) {
        TFileListItem* row = Row(i);
        Key key;
        key.row = row;
        if (column == TFileListItem::colDuration) {
            const ListFileInfo* entry = row ? row->Entry() : nullptr;
            key.number = entry ? double(entry->EndTime - entry->StartTime) : 0;
        } else if (column == TFileListItem::colSize) {
            key.number = sizeColumnValue(row->text(column));
        } else {
            key.text = collator.sortKey(row->text(column));
        }
        keys.push_back(std::move(key));
    }
    std::stable_sort(keys.begin(), keys.end(), [&](const Key& a, const Key& b) {
        const bool less = numeric ? a.number < b.number : *a.text < *b.text;
        const bool greater = numeric ? b.number < a.number : *b.text < *a.text;
        return order == Qt::AscendingOrder ? less : greater;
    });
    TFileListItem* selected = SelectedRow();
    QList<QTreeWidgetItem*> sorted;
    sorted.reserve(count);
    for (const Key& key : keys)
        sorted.append(key.row);
    {
        // One removal and one insertion: the view lays out once and the journal sees one change.
        FileListView->setUpdatesEnabled(false);
        const QSignalBlocker block(FileListView);
        FileListView->invisibleRootItem()->takeChildren();
        FileListView->addTopLevelItems(sorted);
        FileListView->setUpdatesEnabled(true);
    }
    FileListView->header()->setSortIndicator(column, order);
    FileListView->header()->setSortIndicatorShown(true);
    if (selected) {
        FileListView->setCurrentItem(selected);
        selected->setSelected(true);
        FileListView->scrollToItem(selected);
    }
    FileListViewSelectItem();
}

void TfrmMain::spSkinBtnMoveUpClick() {
    moveSelectedRow(-1);
}
void TfrmMain::spSkinBtnMoveDownClick() {
    moveSelectedRow(+1);
}

void TfrmMain::showRowsChecked() {
    int checked = 0;
    const int count = RowCount();
    for (int i = 0; i < count; ++i)
        if (FileListView->topLevelItem(i)->checkState(0) == Qt::Checked) ++checked;
    const QSignalBlocker block(ckbCkAll);
    ckbCkAll->setCheckState(checked == 0 && count > 0 ? Qt::Unchecked
                            : checked == count        ? Qt::Checked
                                                      : Qt::PartiallyChecked);
}

void TfrmMain::ckbCkAllClick() {
    const Qt::CheckState state = ckbCkAll->isChecked() ? Qt::Checked : Qt::Unchecked;
    const int count = RowCount();
    if (count == 0) return;
    // One change for the whole column instead of one per row (each of which the view, the
    // journal and the checked-rows count would handle on its own).
    QAbstractItemModel* model = FileListView->model();
    {
        const QSignalBlocker block(model);
        for (int i = 0; i < count; ++i)
            FileListView->topLevelItem(i)->setCheckState(0, state);
    }
    emit model->dataChanged(model->index(0, 0), model->index(count - 1, 0), {Qt::CheckStateRole});
    showRowsChecked();
}

void TfrmMain::SubmenuItemRenameClick() {
    TFileListItem* row = SelectedRow();
    if (!row) return;
    TRenameDlg dlg(this);
    dlg.SetOrgName(row->text(TFileListItem::colOutput));
    if (MessageDialogs().ExecDialog(&dlg) != mrOk) return;
    const QString name = dlg.GetNewName();
    if (!IsValidOutputBaseName(name)) {
        ShowInfo(GetLangText(QStringLiteral("DlgRenameInvalid")));
        return;
    }
    for (int i = 0; i < RowCount(); ++i) {
        if (FileListView->topLevelItem(i)->text(TFileListItem::colOutput) == name) {
            ShowInfo(GetLangText(QStringLiteral("DlgRenameDupTitle")));
            return;
        }
    }
    row->setText(TFileListItem::colOutput, name);
}

void TfrmMain::SubMenuItemFileInfoClick() {
    TFileListItem* row = SelectedRow();
    if (!row || !row->Entry()) return;
    TFileInfoDlg dlg(this);
    dlg.SetFileInfo(row->Entry()->FileInfo);
    MessageDialogs().ExecDialog(&dlg);
}

void TfrmMain::FileListViewSelectItem() {
    TFileListItem* row = SelectedRow();
    const ListFileInfo* entry = row ? row->Entry() : nullptr;
    if (entry && !entry->IsYutubeFile) {
        currentFile = entry->FileName;
        if (const TMenuInfo* info = FindMenuInfo(PaneProfile->Tag)) lbProfile()->setText(info->Name);
    } else {
        currentFile.clear();
    }
    showSelectedRow();
    // Keeps the Edit items' keys (Delete) in step with the selection, not only when the menu opens.
    LockMainEditMenu();
}

void TfrmMain::createFileListMenu() {
    struct Item {
        const char* key;  // caption from the matching menu item
        void (TfrmMain::*handler)();
    };
    const Item items[] = {{"FileMenu_00", &TfrmMain::spSkinBtnAddClick},
                          {nullptr, nullptr},
                          {"EditMenu_01", &TfrmMain::spSkinBtnRemoveClick},
                          {"EditMenu_00", &TfrmMain::spSkinBtnClearClick},
                          {"EditMenu_02", &TfrmMain::SubmenuItemRenameClick},
                          {nullptr, nullptr},
                          {"EditMenu_04", &TfrmMain::spSkinBtnMoveUpClick},
                          {"EditMenu_05", &TfrmMain::spSkinBtnMoveDownClick},
                          {nullptr, nullptr},
                          {"EditMenu_07", &TfrmMain::SubMenuItemFileInfoClick}};
    delete PopupMenuFileList->findChild<QMenu*>(QStringLiteral("Popup_SortBy"));
    PopupMenuFileList->clear();
    for (const Item& item : items) {
        if (!item.key) {
            PopupMenuFileList->addSeparator();
            continue;
        }
        QAction* a = PopupMenuFileList->addAction(
            DialogLook::TextOr(QLatin1String(item.key), QLatin1String(item.key)));
        a->setObjectName(QStringLiteral("Popup_") + QLatin1String(item.key));
        connect(a, &QAction::triggered, this, Guarded(item.handler, a->objectName()));
    }
    PopupMenuFileList->addSeparator();
    QMenu* sortBy = PopupMenuFileList->addMenu(
        DialogLook::TextOr(QStringLiteral("PopupSortBy"), QStringLiteral("Sort by")));
    sortBy->setObjectName(QStringLiteral("Popup_SortBy"));
    for (int column = 0; column < FileListView->columnCount(); ++column) {
        QAction* a = sortBy->addAction(FileListView->headerItem()->text(column));
        a->setObjectName(QStringLiteral("Popup_SortBy_%1").arg(column));
        connect(a, &QAction::triggered, this, [this, column] {
            RunGuarded(QStringLiteral("SortRowsBy"), [this, column] { SortRowsBy(column); });
        });
    }
}

void TfrmMain::PopupMenuFileListPopup() {
    const QList<QAction*> a = PopupMenuFileList->actions();
    if (a.size() < 10) return;
    // 0 add, 2 remove, 3 clear, 4 rename, 6 up, 7 down, 9 information.
    a[0]->setEnabled(true);
    a[3]->setEnabled(RowCount() > 0);
    TFileListItem* row = SelectedRow();
    const int index = row ? FileListView->indexOfTopLevelItem(row) : -1;
    a[2]->setEnabled(row);
    a[4]->setEnabled(row);
    a[9]->setEnabled(row);
    a[6]->setEnabled(row && index >= 1);
    a[7]->setEnabled(row && index < RowCount() - 1);
    if (QMenu* sortBy = PopupMenuFileList->findChild<QMenu*>(QStringLiteral("Popup_SortBy")))
        sortBy->setEnabled(RowCount() >= 2);
}

QStringList TfrmMain::droppedPaths(const QMimeData* mime) {
    QStringList paths;
    if (!mime || !mime->hasUrls()) return paths;
    for (const QUrl& url : mime->urls())
        if (url.isLocalFile()) paths << QDir::cleanPath(url.toLocalFile());
    return paths;
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == FileListView->viewport()) {
        if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
            auto* e = static_cast<QDragMoveEvent*>(event);
            if (!droppedPaths(e->mimeData()).isEmpty()) {
                e->acceptProposedAction();
                return true;
            }
        } else if (event->type() == QEvent::Drop) {
            auto* e = static_cast<QDropEvent*>(event);
            const QStringList paths = droppedPaths(e->mimeData());
            if (!paths.isEmpty()) {
                e->acceptProposedAction();
                AddVideFiles(paths);
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TfrmMain::dragEnterEvent(QDragEnterEvent* event) {
    if (!droppedPaths(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TfrmMain::dropEvent(QDropEvent* event) {
    const QStringList paths = droppedPaths(event->mimeData());
    if (paths.isEmpty()) return;
    event->acceptProposedAction();
    AddVideFiles(paths);
}
