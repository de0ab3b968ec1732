#pragma once
// The update window: checks the update server's version text and shows the download of the new
// package, which runs on a TDownloadThread. Created, shown modally and freed by UpdateProgram.

#include <QDialog>
#include <memory>

#include "app/AppLogger.h"
#include "online/DownloadThread.h"

class QLabel;
class QProgressBar;
class QPushButton;

// Downloads the package with the update check's headers and no proxy.
class TDownloadThread : public DownloadThread {
    Q_OBJECT
public:
    TDownloadThread(const QString& url, const QString& file, QObject* parent = nullptr);
};

class TfrmUpdate : public QDialog {
    Q_OBJECT
public:
    explicit TfrmUpdate(QWidget* parent = nullptr);  // runs FormCreate
    ~TfrmUpdate() override;

    void FormCreate();
    // True when the server has a newer version and the user wants it.
    bool CheckRemotVersion(bool ShowDlg);
    // Starts the package download.
    void Start();
    void BtnCancelClick();
    bool FormCloseQuery();
    void HttpWorkBegin(qint64 expected);
    void HttpWork(qint64 received);
    void HttpWorkEnd();
    // True when the package download ended with an error (the window then closed with Cancel).
    bool DownloadFailed() const { return failed_; }

    AppLogger DownloadLog;
    QLabel* lbInfo;
    QProgressBar* AFProgressBar;
    QPushButton* BtnCancel;
    std::unique_ptr<TDownloadThread> downloadThread;
    qint64 MaxValue = 0;

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void stopDownload();
    bool failed_ = false;
};

// The request headers of the update check's requests.
void ConfigureUpdateClient(THttpClient& http);
