// The lower part of the main window: the output folder row and the apply-to-all box.
#include <QDir>

#include "app/ButtonArt.h"
#include "app/DialogSeam.h"
#include "app/FileListItem.h"
#include "app/ListJournal.h"
#include "app/MainFrm.h"
#include "app/Platform.h"
#include "app/Utils.h"
#include "convert/ConvertDlg.h"
#include "convert/ConvertRecord.h"
#include "convert/TaskOptionBuilder.h"
#include "engine/transcode/FFmpegTasks.h"
#include "settings/Lang.h"
#include "settings/Options.h"
#include "tools/ClipTimeDlg.h"

void TfrmMain::spSkinBtnBrowerClick() {
    QString folder = cmbOutput->currentText();
    if (!BrowseForFolder(GetLangText(QStringLiteral("DlgSelOutput")), this, folder)) return;
    cmbOutput->insertItem(0, folder);
    cmbOutput->setCurrentIndex(0);
    GetOptions().OutPutFolder = folder;
    SaveOptionsReported();
}

void TfrmMain::cmbOutputSelect(int index) {
    if (cmbOutput->itemText(index) != QLatin1String("Clear")) return;
    TOptions& o = GetOptions();
    cmbOutput->clear();
    cmbOutput->addItem(o.DefaultOutput);
    cmbOutput->addItem(QStringLiteral("Clear"));
    cmbOutput->setCurrentIndex(0);
    o.OutPutFolder = o.DefaultOutput;
    SaveOptionsReported();
}

QString TfrmMain::OutputFolder() {
    const QString text = cmbOutput->currentText();
    const QString folder = AbsoluteFolder(text);
    if (folder != text) cmbOutput->setEditText(folder);
    return folder;
}

void TfrmMain::spSkinBtnFindTargetClick() {
    const QString text = cmbOutput->currentText();
    if (text.isEmpty() || text.compare(QLatin1String("clear"), Qt::CaseInsensitive) == 0) return;
    const QString folder = OutputFolder();
    if (!QDir(folder).exists()) QDir().mkpath(folder);
    OpenDocumentReported(folder);
}

void TfrmMain::CkbApplyAllClick() {
    if (!CkbApplyAll->isChecked()) return;
    const int answer = MessageDialogs().YesNoBox(GetLangText(QStringLiteral("AppleToAll_Content")),
                                                 GetLangText(QStringLiteral("AppleToAll_Title")));
    if (answer != mrYes || RowCount() < 2) return;
    const ListFileInfo* first = Row(0)->Entry();
    for (int i = 1; i < RowCount(); ++i) {
        TFileListItem* row = Row(i);
        row->Entry()->formatInfo = first->formatInfo ? first->formatInfo->Clone() : nullptr;
        row->setText(TFileListItem::colFormat, Row(0)->text(TFileListItem::colFormat));
    }
}

void TfrmMain::BtnStartClick() {
    const QString folder = OutputFolder();
    if (folder.isEmpty()) {
        ShowInfo(GetLangText(QStringLiteral("DlgNoOutpuFolderTitle")));
        cmbOutput->setFocus();
        return;
    }
    if (!QDir(folder).exists() && !QDir().mkpath(folder)) {
        ShowInfo(GetLangText(QStringLiteral("DlgFailedCreateOutputFolder")));
        cmbOutput->setFocus();
        return;
    }
    if (!DownloadOnlineRows()) return;

    std::vector<std::unique_ptr<ConvertRecord>> records;
    std::vector<const ListFileInfo*> entries;
    for (int i = 0; i < RowCount(); ++i) {
        TFileListItem* row = Row(i);
        if (row->checkState(0) != Qt::Checked || !row->Entry()) continue;
        std::unique_ptr<ListFileInfo> copy = row->Entry()->CloneObj();
        if (copy->IsYutubeFile && !copy->HadDownloaded) continue;
        auto record = std::make_unique<ConvertRecord>();
        record->SourceFileName = row->text(TFileListItem::colName);
        record->FileSize = row->text(TFileListItem::colSize);
        record->FileDur = row->text(TFileListItem::colDuration);
        record->TargetFileName = row->text(TFileListItem::colOutput);
        record->ProfileName = row->text(TFileListItem::colFormat);
        record->PFileInfo = std::move(copy);
        records.push_back(std::move(record));
        entries.push_back(row->Entry());
    }
    if (records.empty()) {
        ShowInfo(GetLangText(QStringLiteral("DlgNoConvertTitle")));
        return;
    }
    // A size limit too small for a file's length is refused before anything starts.
    // A merge is one output: its limit is checked against all clips together.
    std::vector<const ListFileInfo*> parts;
    for (const auto& record : records)
        parts.push_back(record->PFileInfo.get());
    const QStringList refusals = TTaskOptionBuilder::FitRefusals(parts, CkbMerge->isChecked());
    if (!refusals.isEmpty()) {
        ShowInfo(refusals.join('\n'));
        return;
    }

    try {
        StopPreview();
        bool merge = CkbMerge->isChecked();
        if (merge && records.size() == 1) {
            merge = false;
            CkbMerge->setChecked(false);
        }
        if (!ConvertDlg) ConvertDlg = std::make_unique<TConvertDlg>(this);
        FFmpegTasks->Stop(true);
        FFmpegTasks->ClearTasks();
        ConvertDlg->SetLogger(FFMPEGLog);
        ConvertDlg->SetFFmpegTasks(FFmpegTasks.get());
        // The journal keeps the run while it lasts: which rows are still being converted.
        TConvertDlg* dlg = ConvertDlg.get();
        dlg->Queue.RowChanged = [this, dlg, show = dlg->Queue.RowChanged](int row) {
            if (show) show(row);
            if (dlg->Queue.Rows[row].State == TConvertQueue::RowState::Finished) ListChanged();
        };
        runFolder_ = folder;
        runEntries_.clear();
        for (size_t i = 0; i < entries.size(); ++i)
            runEntries_.emplace(entries[i], i);
        if (ListJournal) {
            ListJournal->Changed();
            ListJournal->Flush();
        }
        if (!ConvertDlg->SetTaskData(std::move(records), CkbApplyAll->isChecked(), folder, merge)) {
            endRunJournal();
            // Nothing could be set up: say why instead of silently doing nothing.
            const QString text = ConvertDlg->Queue.FinishText();
            FFMPEGLog.Error(text);
            ConvertDlg->Queue.Close();
            ConvertDlg.reset();
            ShowInfo(text);
            return;
        }
        ConvertDlg->fRunBackGround = [this](QObject*) { MinimizeToTray(); };
        ConvertDlg->SetOnProgress([this](const QString& title, const QString& text, bool success) {
            ShowTrayBalloon(title, text, success);
        });
        TrayIcon->setToolTip(GetLangText(QStringLiteral("tryTipHint")));
        fIconIndex = 0;
        TrayAnimationTimer->start();

        const int result = MessageDialogs().ExecDialog(ConvertDlg.get());
        endRunJournal();
        if (!ConvertDlg) return;
        bool openFolder = false;
        bool turnOff = false;
        // A file that came out short counts as converted, but the run's account must say so.
        const bool allConverted = result == mrOk && ConvertDlg->Queue.FailureLines().isEmpty() &&
                                  ConvertDlg->Queue.NoteLines().isEmpty() &&
                                  ConvertDlg->Queue.FinishedCount() == ConvertDlg->Queue.OutputRowCount();
        const QString finishText = ConvertDlg->Queue.FinishText();
        if (result == mrOk) {
            TrayAnimationTimer->stop();
            TrayIcon->setIcon(ButtonArt::TrayFrame(4));
            if (TrayIcon->isVisible())
                TrayIcon->showMessage(QString(), allConverted ? QStringLiteral("Convert finished.") : finishText,
                                      allConverted ? QSystemTrayIcon::Information : QSystemTrayIcon::Warning,
                                      allConverted ? 1000 : 5000);
            CkbApplyAll->setChecked(false);
            openFolder = ConvertDlg->IsOpenFolder();
            turnOff = ConvertDlg->IsTurnOff();
            if (allConverted)
                FFMPEGLog.Info(finishText);
            else
                FFMPEGLog.Error(finishText);
        }
        TrayAnimationTimer->stop();
        TrayIcon->setToolTip(QString());
        ConvertDlg->fRunBackGround = nullptr;
        ConvertDlg->SetOnProgress(nullptr);
        CkbMerge->setChecked(false);

        // Opens the output folder; the line saying it could not be opened, empty when it was.
        const auto openFolderFailure = [&folder]() -> QString {
            return GetPlatform().OpenDocument(folder)
                       ? QString()
                       : FormatText(GetLangText(QStringLiteral("OpenDocumentFailed")), {folder});
        };
        const auto withLine = [](const QString& text, const QString& line) {
            return line.isEmpty() ? text : text + QStringLiteral("\n") + line;
        };
        if (closingBySignal_) {
            // The program is ending (a termination signal): no questions, no messages.
        } else if (ConvertDlg->IsFailed()) {
            const QStringList reasons = ConvertDlg->Queue.FailureLines();
            ShowInfo(QStringLiteral("Convert failed.") +
                     (reasons.isEmpty() ? QString() : QStringLiteral("\n") + reasons.join(QStringLiteral("\n"))));
        } else if (result == mrOk && !allConverted && !turnOff) {
            ShowInfo(withLine(finishText, openFolder ? openFolderFailure() : QString()));
        } else if (result == mrOk && !openFolder && !turnOff) {
            ShowInfo(finishText);
        } else if (result == mrOk && turnOff) {
            GetPlatform().PowerOff();
        } else if (result == mrOk && openFolder) {
            // The opened folder is the sign that all went well; when it can't be opened the
            // account of the run comes with the reason, never the reason alone.
            const QString failure = openFolderFailure();
            if (!failure.isEmpty()) ShowInfo(withLine(finishText, failure));
        }
        ConvertDlg.reset();
    } catch (const std::exception& e) {
        FFMPEGLog.Error(QStringLiteral("BtnStartClick: ") + QString::fromUtf8(e.what()));
        endRunJournal();
        ConvertDlg.reset();
    }
}

void TfrmMain::btnClipClick() {
    if (RowCount() == 0) return;
    TFileListItem* row = SelectedRow() ? SelectedRow() : Row(0);
    ListFileInfo* entry = row->Entry();
    if (!entry || entry->IsYutubeFile) return;
    try {
        StopPreview();
        TClipTimeDlg dlg(this);
        if (!dlg.SetData(entry)) return;
        if (MessageDialogs().ExecDialog(&dlg) == mrCancel) return;
        entry->StartTime = dlg.StartTime();
        entry->EndTime = dlg.EndTime();
        const qint64 length = entry->EndTime - entry->StartTime;
        row->setText(TFileListItem::colDuration, FormatTime(length));
        ListChanged();
        const TFormatInfo* params = entry->formatInfo.get();
        row->setText(TFileListItem::colSize, EntrySizeEstimate(*entry, params ? params->EncParam.VideoBitrate : 0,
                                                               params ? params->EncParam.AudioBitrate : 0));
    } catch (const std::exception& e) {
        FFMPEGLog.Error(QStringLiteral("btnClipClick: ") + QString::fromUtf8(e.what()));
    }
}
