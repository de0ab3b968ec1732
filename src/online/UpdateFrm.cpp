#include "online/UpdateFrm.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <cmath>

#include "app/DialogLook.h"
#include "app/Utils.h"
#include "online/HttpClient.h"
#include "online/UpdateCheck.h"
#include "settings/Options.h"

void ConfigureUpdateClient(THttpClient& http) {
    http.Accept = QStringLiteral("text/html, */*");
    http.UserAgent = QStringLiteral("Mozilla/3.0 (compatible; Indy Library)");
    http.SetProxy(THttpProxy());  // the update check connects directly
}

TDownloadThread::TDownloadThread(const QString& url, const QString& file, QObject* parent)
    : DownloadThread(url, file, ConfigureUpdateClient, parent) {}

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
}

TfrmUpdate::~TfrmUpdate() {
    stopDownload();
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
        ConfigureUpdateClient(http);
        const QString remote = TrimBlanks(http.GetText(address));
        TOptions& o = GetOptions();
        o.LastUpdate = UpdateCheck::DateText(QDate::currentDate());
        SaveOptionsReported();
        if (UpdateCheck::CompareVersions(remote, o.Vesion) > 0) {
            const QString text = FormatText(
                DialogLook::TextOr(QStringLiteral("DlgAskUpdate"), QStringLiteral("%s")), {remote});
            return AskQuestion(text, QStringLiteral("Ask"), false) == mrYes;
        }
        if (ShowDlg)
            ShowInfo(
                DialogLook::TextOr(QStringLiteral("CheckUpdateInfo"), QStringLiteral("CheckUpdateInfo")));
        return false;
    } catch (const std::exception& e) {
        if (ShowDlg)
            ShowInfo(DialogLook::TextOr(QStringLiteral("lbUpdateFailed"), QStringLiteral("lbUpdateFailed")));
        DownloadLog.Error(QString::fromUtf8(e.what()) + ',' + address);
        return false;
    }
}

void TfrmUpdate::Start() {
    downloadThread =
        std::make_unique<TDownloadThread>(UpdateCheck::InstallerUrl(), UpdateCheck::InstallerFile());
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
