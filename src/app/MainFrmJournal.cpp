// The main window's list journal: every change of the list is journaled, a clean exit empties
// the journal, and a start after an unclean end offers to bring the list back.
#include <QFileInfo>

#include "app/DialogSeam.h"
#include "app/FileListItem.h"
#include "app/ListJournal.h"
#include "app/MainFrm.h"
#include "app/Utils.h"
#include "profiles/MenuInfo.h"
#include "profiles/ProfileMenu.h"
#include "settings/Lang.h"

void TfrmMain::StartListJournal(const QString& file) {
    delete ListJournal;
    ListJournal = new TListJournal(
        file, [this] { return listJournalSnapshot(); }, this);
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

TJournalContent TfrmMain::listJournalSnapshot() const {
    TJournalContent list;
    list.profileId = PaneProfile->Tag;
    list.merge = CkbMerge->isChecked();
    list.rows.reserve(RowCount());
    for (int i = 0; i < RowCount(); ++i) {
        const TFileListItem* row = Row(i);
        if (!row || !row->Entry()) continue;
        list.rows.push_back({row->text(TFileListItem::colName), row->text(TFileListItem::colOutput),
                             row->checkState(TFileListItem::colName) == Qt::Checked,
                             row->Entry()->CloneObj()});
    }
    return list;
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
    for (TJournalRow& r : content.rows) {
        ListFileInfo* entry = r.entry.get();
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
        TFileListItem* row = MakeRow(r.caption, r.output, format, entry->FileName, std::move(r.entry));
        row->setCheckState(TFileListItem::colName, r.checked ? Qt::Checked : Qt::Unchecked);
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
    if (toProbe)
        GetVideoFileInfo();
    else
        showListAfterAdding();
}
