#include "online/UpdateFrm.h"

#include <QCloseEvent>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <cmath>

#include "app/DialogLook.h"
#include "app/DialogSeam.h"
#include "app/Platform.h"
#include "app/Utils.h"
#include "online/HttpClient.h"
#include "online/UpdateCheck.h"
#include "settings/Options.h"

namespace {
TfrmUpdate* g_running = nullptr;
}

TDownloadThread::TDownloadThread(const QString& url, std::unique_ptr<TWorkingFile> file, QObject* parent)
    : DownloadThread(url, std::move(file), UpdateCheck::ConfigureClient, parent) {}

TfrmUpdate::TfrmUpdate(QWidget* parent) : QDialog(parent) {
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    DialogLook::Apply(this, 472, 174);
    lbInfo = new QLabel(this);
    lbInfo->setGeometry(24, 30, 424, 40);
    lbInfo->setWordWrap(true);
    AFProgressBar = new QProgressBar(this);
    AFProgressBar->setGeometry(24, 80, 424, 24);
    AFProgressBar->setRange(0, 100);
    AFProgressBar->setValue(0);
    AFProgressBar->setTextVisible(true);
    BtnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    BtnCancel->setGeometry(368, 128, 80, 28);
    connect(BtnCancel, &QPushButton::clicked, this, [this] { BtnCancelClick(); });
    FormCreate();
    DialogLook::CentreOverMainWindow(this);
    g_running = this;
}

TfrmUpdate::~TfrmUpdate() {
    if (g_running == this) g_running = nullptr;
    stopDownload();
}

TfrmUpdate* TfrmUpdate::Running() {
    return g_running;
}

void TfrmUpdate::FormCreate() {
    setWindowTitle(DialogLook::TextOr(QStringLiteral("DlgUpdateTitle"), QStringLiteral("Update")));
    lbInfo->setText(DialogLook::TextOr(QStringLiteral("lbUpdateInfo"), QString()));
    setResult(mrNone);
}

bool TfrmUpdate::CheckRemotVersion(bool ShowDlg) {
    const QString address = UpdateCheck::VersionFileUrl();
    try {
        THttpClient http;
        UpdateCheck::ConfigureClient(http);
        checkClient_ = &http;
        struct Forget {
            THttpClient*& client;
            ~Forget() { client = nullptr; }
        } forget{checkClient_};
        const QString remote = UpdateCheck::FetchOfferedVersion(http);
        TOptions& o = GetOptions();
        o.LastUpdate = UpdateCheck::DateText(QDate::currentDate());
        SaveOptionsReported();
        if (cancelled_) return false;
        if (UpdateCheck::CompareVersions(remote, o.Vesion) > 0) {
            const QString text = FormatText(
                DialogLook::TextOr(QStringLiteral("DlgAskUpdate"), QStringLiteral("%s")), {remote});
            return AskQuestion(text, QStringLiteral("Ask"), false) == mrYes && !cancelled_;
        }
        if (ShowDlg)
            ShowInfo(
                DialogLook::TextOr(QStringLiteral("CheckUpdateInfo"), QStringLiteral("CheckUpdateInfo")));
        return false;
    } catch (const std::exception& e) {
        if (cancelled_) return false;
        if (ShowDlg)
            ShowInfo(DialogLook::TextOr(QStringLiteral("lbUpdateFailed"), QStringLiteral("lbUpdateFailed")));
        DownloadLog.Error(QString::fromUtf8(e.what()) + ',' + address);
        return false;
    }
}

void TfrmUpdate::Start(std::unique_ptr<TWorkingFile> file) {
    downloadThread = std::make_unique<TDownloadThread>(UpdateCheck::InstallerUrl(), std::move(file));
    connect(downloadThread.get(), &TDownloadThread::WorkBegin, this, &TfrmUpdate::HttpWorkBegin);
    connect(downloadThread.get(), &TDownloadThread::Work, this, &TfrmUpdate::HttpWork);
    connect(downloadThread.get(), &TDownloadThread::WorkEnd, this, &TfrmUpdate::HttpWorkEnd);
    connect(downloadThread.get(), &TDownloadThread::Failed, this, [this](const QString& message) {
        DownloadLog.Error(message + ',' + downloadThread->Url());
        failed_ = true;
        lbInfo->setText(
            DialogLook::TextOr(QStringLiteral("lbUpdateFailed"), QStringLiteral("lbUpdateFailed")));
        done(mrCancel);
    });
    downloadThread->start();
}

void TfrmUpdate::HttpWorkBegin(qint64 expected) {
    MaxValue = expected;
    AFProgressBar->setValue(0);
}

void TfrmUpdate::HttpWork(qint64 received) {
    if (MaxValue > 0) AFProgressBar->setValue(static_cast<int>(std::lround(received * 100.0 / MaxValue)));
    const auto mb = [](qint64 bytes) { return QString::asprintf("%.2f", bytes / 1024.0 / 1024.0); };
    lbInfo->setText(FormatText(DialogLook::TextOr(QStringLiteral("lbUpdateInfo2"), QStringLiteral("%s / %s")),
                               {mb(received), mb(MaxValue)}));
}

void TfrmUpdate::HttpWorkEnd() {
    AFProgressBar->setValue(100);
    done(mrOk);
}

void TfrmUpdate::BtnCancelClick() {
    if (AskQuestion(DialogLook::TextOr(QStringLiteral("DlgCancelUpdate"), QStringLiteral("DlgCancelUpdate")),
                    QString(), false) != mrYes)
        return;
    stopDownload();
    done(mrCancel);
}

void TfrmUpdate::CancelWithoutAsking() {
    cancelled_ = true;
    if (checkClient_) checkClient_->Cancel();
    stopDownload();
    done(mrCancel);
}

bool TfrmUpdate::FormCloseQuery() {
    const int r = result();
    if (r == mrOk || r == mrCancel || r == mrYes) return true;
    if (AskQuestion(DialogLook::TextOr(QStringLiteral("DlgCancelUpdate"), QStringLiteral("DlgCancelUpdate")),
                    QString(), false) != mrYes)
        return false;
    stopDownload();
    setResult(mrCancel);
    return true;
}

void TfrmUpdate::closeEvent(QCloseEvent* event) {
    if (FormCloseQuery())
        event->accept();
    else
        event->ignore();
}

void TfrmUpdate::reject() {
    BtnCancelClick();
}

void TfrmUpdate::stopDownload() {
    if (downloadThread) {
        downloadThread->Stop();
        downloadThread->wait();
    }
}

namespace {
// Checks the downloaded package and opens it when its checksum and signature are right;
// otherwise removes it and says why.
void openVerifiedPackage(std::unique_ptr<TWorkingFile> package, const QString& folder, const AppLogger& log) {
    QString why;
    THttpClient http;
    UpdateCheck::ConfigureClient(http);
    if (UpdateCheck::VerifyPackage(http, *package, &why)) {
        const QString path = package->MoveToFreeName(folder + '/' + UpdateCheck::PackageFileName(), false, nullptr, &why);
        if (!path.isEmpty()) {
            // The bytes checked are the bytes opened: the folder is this user's alone.
            QFile::setPermissions(path, QFileDevice::ReadOwner);
            OpenDocumentReported(path);
            GetOptions().LastUpdate.clear();
            SaveOptionsReported();
            return;
        }
    }
    log.Error(QStringLiteral("Update not verified: ") + why + ',' + UpdateCheck::InstallerUrl());
    package.reset();  // removes it
    UpdateCheck::RemovePackageFolder(folder);
    ShowInfo(FormatText(DialogLook::TextOr(QStringLiteral("UpdateNotVerified"), QStringLiteral("%s")), {why}));
}
}  // namespace

void UpdateProgram(bool ShowDlg, QWidget* parent, const AppLogger& log) {
    try {
        TfrmUpdate dlg(parent);
        dlg.DownloadLog = log;
        if (!dlg.CheckRemotVersion(ShowDlg)) return;
        QString error;
        const QString folder = UpdateCheck::MakePackageFolder(&error);
        std::unique_ptr<TWorkingFile> file =
            folder.isEmpty() ? nullptr : TWorkingFile::Create(folder, UpdateCheck::PackageFileName(), 0600, &error);
        if (!file) {
            log.Error(QStringLiteral("UpdateProgram: ") + error);
            UpdateCheck::RemovePackageFolder(folder);
            ShowInfo(DialogLook::TextOr(QStringLiteral("lbUpdateFailed"), QStringLiteral("lbUpdateFailed")));
            return;
        }
        dlg.Start(std::move(file));
        const int result = MessageDialogs().ExecDialog(&dlg);
        // Closed some other way than by the download's end (the program is quitting): stop it.
        if (result != mrOk && !dlg.WasCancelled() && !dlg.DownloadFailed()) dlg.downloadThread->Stop();
        std::unique_ptr<TWorkingFile> package = dlg.downloadThread->TakeFile();
        if (dlg.DownloadFailed() && !dlg.WasCancelled())
            ShowInfo(DialogLook::TextOr(QStringLiteral("lbUpdateFailed"), QStringLiteral("lbUpdateFailed")));
        if (result != mrOk || !package || dlg.WasCancelled()) {
            package.reset();
            UpdateCheck::RemovePackageFolder(folder);
            return;
        }
        openVerifiedPackage(std::move(package), folder, log);
    } catch (const std::exception& e) {
        log.Error(QStringLiteral("UpdateProgram: ") + QString::fromUtf8(e.what()));
    }
}

void AutoUpdateCheck(QWidget* parent, const AppLogger& log) {
    try {
        const TOptions& o = GetOptions();
        QString last = ReadMachineRegString(o.RegPath, QStringLiteral("LastUpdate"));
        if (last.isEmpty()) last = o.LastUpdate;
        if (!last.isEmpty()) {
            QDate date = UpdateCheck::ReadDate(last);
            if (!date.isValid()) date = QDate::currentDate();
            if (date.daysTo(QDate::currentDate()) <= 6) return;
        }
        UpdateProgram(false, parent, log);
    } catch (const std::exception& e) {
        log.Error(QStringLiteral("AutoUpdateCheck: ") + QString::fromUtf8(e.what()));
    }
}
