// The main window's online paths: the online video dialog, the downloads that come before a run
// with online rows, and the update check.
#include "app/DialogSeam.h"
#include "app/FileListItem.h"
#include "app/MainFrm.h"
#include "app/Platform.h"
#include "app/Utils.h"
#include "online/DownloadFrm.h"
#include "online/UpdateFrm.h"
#include "online/YouTubeFrm.h"
#include "profiles/ParaInfo.h"
#include "settings/Lang.h"
#include "settings/Options.h"

void TfrmMain::ShowOnlineEntry(const ListFileInfo& entry) {
    // An online row is looked at in the online video dialog; it can't be added again from there.
    TFrmYouTube dlg(this);
    dlg.FFMPEGLog = FFMPEGLog;
    dlg.SetListFileInfoEntity(&entry);
    MessageDialogs().ExecDialog(&dlg);
}

void TfrmMain::BtnEditClick() {
    TFrmYouTube dlg(this);
    dlg.FFMPEGLog = FFMPEGLog;
    if (MessageDialogs().ExecDialog(&dlg) != mrOk) return;
    std::unique_ptr<ListFileInfo> entry = dlg.TakeEntity();
    if (entry && !entry->YoutubeTitle.isEmpty() && !entry->YoutubeFlvUrl.isEmpty()) {
        const std::unique_ptr<TFormatInfo> params = ParametersForNewRows();
        QString caption = entry->YoutubeTitle;
        caption = caption.mid(std::max(caption.lastIndexOf('/'), caption.lastIndexOf('\\')) + 1);
        const QString id = entry->YoutubeVideId;
        const QString page = entry->YoutubeUrl;
        entry->FileName.clear();
        entry->CategoryTag = CategoryTagOf(params.get());
        entry->formatInfo = params ? params->Clone() : nullptr;
        TFileListItem* row =
            MakeRow(caption, id, params ? params->Format : QString(), page, std::move(entry));
        FileListView->addTopLevelItem(row);
    }
    if (RowCount() > 0) {
        FileListView->show();
        ckbCkAll->show();
        btnImageAdd->hide();
        BtnStart->setEnabled(true);
        PanelRenderPanel->setStyleSheet(QString());
        CkbMerge->setEnabled(RowCount() >= 2);
    }
}

bool TfrmMain::DownloadOnlineRows() {
    std::vector<ListFileInfo*> online;
    for (int i = 0; i < RowCount(); ++i) {
        TFileListItem* row = Row(i);
        if (row->checkState(0) == Qt::Checked && row->Entry() && row->Entry()->IsYutubeFile)
            online.push_back(row->Entry());
    }
    if (online.empty()) return true;
    TfrmDownload dlg(this);
    dlg.FFMPEGLog = FFMPEGLog;
    if (!dlg.SetDataList(online)) return false;
    if (MessageDialogs().ExecDialog(&dlg) == mrCancel) return false;
    QStringList failed;
    for (const ListFileInfo* entry : online)
        if (entry->IsYutubeFile) failed << entry->YoutubeTitle;
    if (!failed.isEmpty())
        ShowInfo(FormatText(GetLangText(QStringLiteral("DownloadFailedInfo")),
                            {failed.join(QStringLiteral(", "))}));
    GetVideoFileInfo();  // probes the downloaded files; rows may go away here
    if (dlg.GetIsDownloadOnly()) {
        OpenDocumentReported(GetOptions().YouTubeDowloadPath());
        return false;
    }
    return true;
}

void TfrmMain::UpdateProgram(bool ShowDlg) {
    ::UpdateProgram(ShowDlg, this, FFMPEGLog);
}

void TfrmMain::AutoUpdateCheck() {
    ::AutoUpdateCheck(this, FFMPEGLog);
}
