#pragma once
// The update window and the whole update flow that the main window runs 2 s after start-up and
// from Help > Check for Updates: the version check, the question, the package download shown in
// the window (on a TDownloadThread, into a private folder of its own), the verification of the
// package's checksum and signature, and opening the verified package through the platform layer.

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
    TDownloadThread(const QString& url, std::unique_ptr<TWorkingFile> file, QObject* parent = nullptr);
};

class TfrmUpdate : public QDialog {
    Q_OBJECT
public:
    explicit TfrmUpdate(QWidget* parent = nullptr);  // runs FormCreate
    ~TfrmUpdate() override;

    void FormCreate();
    // True when the server has a newer version and the user wants it.
    bool CheckRemotVersion(bool ShowDlg);
    // Starts the package download into `file`.
    void Start(std::unique_ptr<TWorkingFile> file);
    void BtnCancelClick();
    bool FormCloseQuery();
    void HttpWorkBegin(qint64 expected);
    void HttpWork(qint64 received);
    void HttpWorkEnd();
    // True when the package download ended with an error (the window then closed with Cancel).
    bool DownloadFailed() const { return failed_; }
    // Stops the version check or the download at once, without a question (the program is
    // ending); the window closes with Cancel.
    void CancelWithoutAsking();
    bool WasCancelled() const { return cancelled_; }
    // The update window that is open now, if any (there is at most one).
    static TfrmUpdate* Running();

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
    bool cancelled_ = false;
    THttpClient* checkClient_ = nullptr;  // while CheckRemotVersion waits for the server
};

// The whole flow. ShowDlg: started from the menu, so every outcome is told to the user.
// Failures are logged and never raised.
void UpdateProgram(bool ShowDlg, QWidget* parent, const AppLogger& log);
// The automatic check: runs UpdateProgram(false) when the last check is unknown or more than
// six days old.
void AutoUpdateCheck(QWidget* parent, const AppLogger& log);
