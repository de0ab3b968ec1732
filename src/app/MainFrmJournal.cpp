// The main window's list journal: every change of the list is journaled, a clean exit empties
// the journal, and a start after an unclean end offers to bring the list back.
#include <QFileInfo>

#include "app/DialogSeam.h"
#include "app/FileListItem.h"
#include "app/ListJournal.h"
#include "app/MainFrm.h"
#include "app/Utils.h"
#include "convert/ConvertDlg.h"
#include "profiles/MenuInfo.h"
#include "profiles/ProfileMenu.h"
#include "settings/Lang.h"

void TfrmMain::StartListJournal(const QString& file) {
    delete ListJournal;
    TJournalSource source;
    source.list = [this] { return listJournalHeader(); };
    source.rowCount = [this] { return RowCount(); };
    source.row = [this](int index, std::vector<TJournalRow>& rows) { listJournalRow(index, rows); };
    ListJournal = new TListJournal(file, std::move(source), this);
    if (!ListJournal->Acquire()) {
        FFMPEGLog.Info(
            QStringLiteral("The list journal is in use by another instance; this window keeps none"));
        return;
    }
    QAbstractItemModel* model = FileListView->model();
    auto changed = [this] { ListChanged(); };
    connect(model, &QAbstractItemModel::rowsInserted, this, changed);
    connect(model, &QAbstractItemModel::rowsRemoved, this, changed);
    connect(model, &QAbstractItemModel::rowsMoved, this, changed);
    connect(model, &QAbstractItemModel::dataChanged, this, changed);
    connect(model, &QAbstractItemModel::modelReset, this, changed);
    connect(model, &QAbstractItemModel::layoutChanged, this, changed);
    connect(CkbMerge, &QCheckBox::toggled, this, changed);
}

void TfrmMain::ListChanged() {
    if (ListJournal) ListJournal->Changed();
}

TJournalContent TfrmMain::listJournalHeader() const {
    TJournalContent list;
    list.profileId = PaneProfile->Tag;
    list.merge = CkbMerge->isChecked();
    if (!runFolder_.isEmpty() && ConvertDlg) list.runFolder = runFolder_;
    return list;
}

void TfrmMain::listJournalRow(int index, std::vector<TJournalRow>& rows) const {
    TFileListItem* row = Row(index);
    if (!row || !row->Entry()) return;
    bool converting = false;
    if (!runFolder_.isEmpty() && ConvertDlg) {
        const TConvertQueue& run = ConvertDlg->Queue;
        // A merge makes its one output at the very end: every part counts until then.
        const auto at = runEntries_.find(row->Entry());
        converting = at != runEntries_.end() &&
                     (run.IsMergeOne || at->second >= run.Rows.size() ||
                      run.Rows[at->second].State != TConvertQueue::RowState::Finished);
    }
    // An entry unchanged since the last copy is not copied again.
    TJournalRow copy{row->text(TFileListItem::colName), row->text(TFileListItem::colOutput),
                     row->checkState(TFileListItem::colName) == Qt::Checked, row->JournalCopy.Of(*row->Entry())};
    copy.converting = converting;
    rows.push_back(std::move(copy));
}

void TfrmMain::endRunJournal() {
    // Ending on a signal: the journal keeps the run for the next start.
    if (closingBySignal_) return;
    runFolder_.clear();
    runEntries_.clear();
    ListChanged();
}

void TfrmMain::RestoreLastSession() {
    if (!ListJournal || !ListJournal->Acquired()) return;
    TListJournal::Previous& previous = ListJournal->PreviousSession();
    const TListJournal::State state = previous.state;
    // Asked once: a second call finds nothing.
    previous.state = TListJournal::State::Empty;
    TJournalContent content = std::move(previous.content);
    const QString setAside = previous.setAside, error = previous.error;
    if (state == TListJournal::State::Unreadable) {
        FFMPEGLog.Error(QStringLiteral("List journal unreadable (%1), set aside as %2").arg(error, setAside));
        ShowInfo(FormatText(GetLangText(QStringLiteral("JournalUnreadable")),
                            {error, setAside.isEmpty() ? ListJournal->File() : setAside}));
        return;
    }
    if (state != TListJournal::State::HasRows) return;
    if (Ask(FormatText(GetLangText(QStringLiteral("JournalRestoreAsk")),
                       {QString::number(content.rows.size())})) != mrYes) {
        FFMPEGLog.Info(QStringLiteral("The list of the last session was not restored"));
        ListJournal->Discard();
        return;
    }
    restoreRows(content);
}

void TfrmMain::restoreRows(TJournalContent& content) {
    if (content.profileId >= 0 && FindMenuInfo(content.profileId)) SetTFormatMenuItem(content.profileId);
    QStringList gone;
    bool toProbe = false;
    QList<QTreeWidgetItem*> rows;
    // A conversion was running: its unfinished rows are the checked ones, so that Start runs it
    // again into the same folder (a long file continues from its working folder's pieces).
    const bool interruptedRun = !content.runFolder.isEmpty();
    int interrupted = 0;
    for (TJournalRow& r : content.rows) {
        std::unique_ptr<ListFileInfo> owned = r.entry->CloneObj();
        ListFileInfo* entry = owned.get();
        if (!entry->IsYutubeFile) {
            const QFileInfo source(entry->FileName);
            if (!source.exists()) {
                gone << entry->FileName;
                continue;
            }
            // A file changed since it was listed is read again (which also resets its clip).
            if (source.size() != r.sourceSize || source.lastModified().toMSecsSinceEpoch() != r.sourceMtime)
                entry->HasData = false;
        }
        const QString format = entry->formatInfo ? entry->formatInfo->Format : QString();
        TFileListItem* row = MakeRow(r.caption, r.output, format, entry->FileName, std::move(owned));
        // The journal already holds this copy: the next write need not make another.
        row->JournalCopy = TEntryCopy(std::move(r.entry));
        const bool checked = interruptedRun ? r.converting : r.checked;
        if (interruptedRun && r.converting) ++interrupted;
        row->setCheckState(TFileListItem::colName, checked ? Qt::Checked : Qt::Unchecked);
        if (entry->HasData) {
            const TFormatInfo* params = entry->formatInfo.get();
            row->setText(TFileListItem::colDuration, FormatTime(entry->EndTime - entry->StartTime));
            row->setText(TFileListItem::colSize,
                         EntrySizeEstimate(*entry, params ? params->EncParam.VideoBitrate : 0,
                                           params ? params->EncParam.AudioBitrate : 0));
        } else if (!entry->IsYutubeFile) {
            toProbe = true;
        }
        rows << row;
    }
    FileListView->addTopLevelItems(rows);
    CkbMerge->setChecked(content.merge);
    FFMPEGLog.Info(
        QStringLiteral("Restored %1 files of the last session, %2 gone").arg(rows.size()).arg(gone.size()));
    if (!gone.isEmpty())
        ShowInfo(FormatText(GetLangText(QStringLiteral("JournalFilesGone")), {gone.join('\n')}));
    if (interrupted > 0) {
        if (content.runFolder != cmbOutput->currentText()) {
            cmbOutput->insertItem(0, content.runFolder);
            cmbOutput->setCurrentIndex(0);
        }
        FFMPEGLog.Info(QStringLiteral("The conversion of %1 files into %2 was cut short; Start continues it")
                           .arg(interrupted)
                           .arg(content.runFolder));
        ShowInfo(FormatText(GetLangText(QStringLiteral("JournalRunInterrupted")),
                            {QString::number(interrupted), content.runFolder}));
    }
    if (toProbe)
        GetVideoFileInfo();
    else
        showListAfterAdding();
}
