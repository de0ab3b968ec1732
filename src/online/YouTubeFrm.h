#pragma once
// "Online Video": fetches a video page of the video site and reads its title, identifier, length
// and stream addresses into an online entry, which the opener takes with TakeEntity().
// The page is fetched and read on a worker thread (TPageAnalysis) while the dialog shows that it
// is busy and keeps painting; Cancel stops the analysis, closing the dialog stops it too.

#include <QDialog>
#include <memory>

#include "app/AppLogger.h"

class ListFileInfo;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class TPageAnalysis;

class TFrmYouTube : public QDialog {
    Q_OBJECT
public:
    explicit TFrmYouTube(QWidget* parent = nullptr);  // runs FormCreate
    ~TFrmYouTube() override;

    void FormCreate();
    void btnGoClick();
    void btnOKClick();
    void btnCancelClick();
    void btnSettingClick();
    // Fetches the page through the HTTP client (proxy from the options) and fills the entry;
    // a failure is logged and reported. False when the analysis was cancelled.
    bool AnalyYoutubePage(const QString& address);
    bool IsAnalysing() const { return analysis_ != nullptr; }

    // The dialog's entry (still owned by the dialog).
    ListFileInfo* ListFileInfoEntity() const { return listObj.get(); }
    // Hands the entry over to the caller.
    std::unique_ptr<ListFileInfo> TakeEntity();
    // Shows an existing online row: its address is filled in and OK is disabled; the dialog
    // keeps its own entry.
    void SetListFileInfoEntity(const ListFileInfo* existing);

    AppLogger FFMPEGLog;
    QLabel* lbYouTuBeUrl;
    QLineEdit* txtYoutubeUrl;
    QPushButton* btnGo;
    QPushButton* btnSetting;
    QPushButton* btnOK;
    QPushButton* btnCancel;
    QLabel* lbBusy;
    QProgressBar* pbBusy;

protected:
    void reject() override;
    void closeEvent(QCloseEvent* event) override;

private:
    void setBusy(bool busy);
    std::unique_ptr<ListFileInfo> listObj;
    TPageAnalysis* analysis_ = nullptr;  // while AnalyYoutubePage waits for it
    bool closeAfterAnalysis_ = false;
    bool okAllowed_ = true;  // false when the dialog shows an existing row
};
