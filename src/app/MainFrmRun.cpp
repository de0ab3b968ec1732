// The lower part of the main window: the output folder row and the apply-to-all box.
#include <QDir>

#include "app/ButtonArt.h"
#include "app/DialogSeam.h"
#include "app/FileListItem.h"
#include "app/MainFrm.h"
#include "app/Platform.h"
#include "app/Utils.h"
#include "convert/ConvertDlg.h"
#include "convert/ConvertRecord.h"
#include "engine/FFmpegTasks.h"
#include "settings/Lang.h"
#include "settings/Options.h"

namespace {
// Saves the options; a file that can't be written is reported and the new value stays in memory.
void saveOptions() {
    try {
        GetOptions().SaveOptions();
    } catch (const std::exception& e) {
        MessageDialogs().MessageBox(QString::fromUtf8(e.what()), QStringLiteral("Vanto Video Converter"));
    }
}
}  // namespace

void TfrmMain::spSkinBtnBrowerClick() {
    QString folder = cmbOutput->currentText();
    if (!BrowseForFolder(GetLangText(QStringLiteral("DlgSelOutput")), this, folder)) return;
    cmbOutput->insertItem(0, folder);
    cmbOutput->setCurrentIndex(0);
    GetOptions().OutPutFolder = folder;
    saveOptions();
}

void TfrmMain::cmbOutputSelect(int index) {
    if (cmbOutput->itemText(index) != QLatin1String("Clear")) return;
    TOptions& o = GetOptions();
    cmbOutput->clear();
    cmbOutput->addItem(o.DefaultOutput);
    cmbOutput->addItem(QStringLiteral("Clear"));
    cmbOutput->setCurrentIndex(0);
    o.OutPutFolder = o.DefaultOutput;
    saveOptions();
}

void TfrmMain::spSkinBtnFindTargetClick() {
    const QString folder = cmbOutput->currentText();
    if (folder.isEmpty() || folder.compare(QLatin1String("clear"), Qt::CaseInsensitive) == 0) return;
    if (!QDir(folder).exists()) QDir().mkpath(folder);
    GetPlatform().OpenDocument(folder);
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
    const QString folder = cmbOutput->currentText();
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
    }
    if (records.empty()) {
        ShowInfo(GetLangText(QStringLiteral("DlgNoConvertTitle")));
        return;
    }

    try {
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
        if (!ConvertDlg->SetTaskData(std::move(records), CkbApplyAll->isChecked(), folder, merge)) {
            ConvertDlg.reset();
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
        if (!ConvertDlg) return;
        bool openFolder = false;
        bool turnOff = false;
        if (result == mrOk) {
            TrayAnimationTimer->stop();
            TrayIcon->setIcon(ButtonArt::TrayFrame(4));
            if (TrayIcon->isVisible())
                TrayIcon->showMessage(QString(), QStringLiteral("Convert finished."),
                                      QSystemTrayIcon::Information, 1000);
            CkbApplyAll->setChecked(false);
            openFolder = ConvertDlg->IsOpenFolder();
            turnOff = ConvertDlg->IsTurnOff();
        }
        TrayAnimationTimer->stop();
        TrayIcon->setToolTip(QString());
        ConvertDlg->fRunBackGround = nullptr;
        ConvertDlg->SetOnProgress(nullptr);
        CkbMerge->setChecked(false);

        if (ConvertDlg->IsFailed()) {
            ShowInfo(QStringLiteral("Convert failed."));
        } else if (result == mrOk && !openFolder && !turnOff) {
            ShowInfo(GetLangText(QStringLiteral("Convert_Finish")));
        } else if (turnOff) {
            GetPlatform().PowerOff();
        } else if (openFolder) {
            GetPlatform().OpenDocument(folder);
        }
        ConvertDlg.reset();
    } catch (const std::exception& e) {
        FFMPEGLog.Error(QStringLiteral("BtnStartClick: ") + QString::fromUtf8(e.what()));
        ConvertDlg.reset();
    }
}
