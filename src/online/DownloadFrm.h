#pragma once
// "Downloading": fetches the FLV streams of online entries into the download folder, two at a
// time, each on a DownloadThread, with a progress bar per row. A finished entry becomes a local
// file entry; a failed one is logged, marked and left an online entry. The window closes itself
// with OK when every row has finished or failed; Cancel stops the transfers (nothing is left
// under a final name, and a stopped row is marked stopped).
// Each download is written under a hidden working name and moved into place when complete:
// over an existing file only when the user agreed to replace it, otherwise never replacing
// anything (a file that appears meanwhile keeps its name; the download takes the next number).
// The file name comes from the server (the video identifier) and is refused unless it is a
// plain identifier naming a file inside the download folder.
// Everything here runs on the user-interface thread.

#include <QDialog>
#include <QQueue>
#include <QSet>
#include <memory>
#include <vector>

#include "app/AppLogger.h"

class DownloadThread;
class ListFileInfo;
class QCheckBox;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

class TfrmDownload : public QDialog {
    Q_OBJECT
public:
    enum Image { imgWaiting = 0, imgDone = 1, imgFailed = 2, imgStopped = 3 };

    explicit TfrmDownload(QWidget* parent = nullptr);  // runs FormCreate
    ~TfrmDownload() override;                          // stops and waits for running transfers

    void FormCreate();
    // Fills the rows, chooses the target files and starts two downloads. The entries stay the
    // caller's; they are updated as their downloads end. False (result Cancel) for an empty list.
    bool SetDataList(const std::vector<ListFileInfo*>& list);
    bool GetIsDownloadOnly() const;
    // The target path in the download folder for `baseName` + `ext`: an empty base name becomes
    // 32 hexadecimal digits; an existing file asks whether to replace it (Yes to all and No to
    // all are remembered), and No takes the first free "_(new_n)" name; anything else than a
    // file there (a folder, a link) takes that name without a question. Empty, with `refusal`
    // set, for a base name that is not a plain video identifier.
    QString CheckOutputFile(const QString& baseName, const QString& ext, QString* refusal = nullptr);
    void RunDownload();
    void OnDownloadFinished(QTreeWidgetItem* row);
    void OnDownloadFailed(QTreeWidgetItem* row, const QString& errorMsg);
    void OnDownloadStopped(QTreeWidgetItem* row);
    void btnCancelClick();
    void BtnOpenFolderClick();
    // True when the window may close; asks first while downloads remain, then stops them.
    bool FormCloseQuery();

    int RowImage(int row) const;
    QString RowProgress(int row) const;

    AppLogger FFMPEGLog;
    QTreeWidget* ListViewConvertList;
    QPushButton* btnCancel;
    QPushButton* BtnOpenFolder;
    QCheckBox* ckbDownloadOnly;

    bool finished = true;
    int coverExitFileResult = 0;
    int finshedCount = 0;

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void setImage(QTreeWidgetItem* row, Image image);
    void rowDone();
    void stopAll();
    std::vector<ListFileInfo*> DataList;
    QQueue<QTreeWidgetItem*> DataQueue;
    DownloadThread* threadOf(QTreeWidgetItem* row) const;
    std::vector<std::unique_ptr<DownloadThread>> threadList;
    QSet<QString> reserved_;  // targets chosen by this window
    QSet<QString> replace_;   // targets whose existing file the user agreed to replace
    bool closing_ = false;
};
