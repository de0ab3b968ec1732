#include "online/YouTubeFrm.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include "app/CommEntity.h"
#include "app/DialogLook.h"
#include "app/DialogSeam.h"
#include "app/Utils.h"
#include "online/HttpClient.h"
#include "online/OnlineSites.h"
#include "online/PageAnalysis.h"
#include "online/ProxyDlg.h"

TFrmYouTube::TFrmYouTube(QWidget* parent) : QDialog(parent) {
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    DialogLook::Apply(this, 648, 119);
    lbYouTuBeUrl = new QLabel(this);
    lbYouTuBeUrl->setGeometry(16, 24, 150, 22);
    txtYoutubeUrl = new QLineEdit(this);
    txtYoutubeUrl->setObjectName(QStringLiteral("txtYoutubeUrl"));
    txtYoutubeUrl->setGeometry(170, 22, 415, 24);
    btnGo = new QPushButton(this);
    btnGo->setGeometry(592, 21, 44, 26);
    btnSetting = new QPushButton(this);
    btnSetting->setGeometry(16, 76, 90, 26);
    btnOK = new QPushButton(this);
    btnOK->setGeometry(452, 76, 88, 26);
    btnOK->setDefault(true);
    btnCancel = new QPushButton(this);
    btnCancel->setGeometry(548, 76, 88, 26);
    lbBusy = new QLabel(this);
    lbBusy->setGeometry(120, 58, 320, 18);
    pbBusy = new QProgressBar(this);
    pbBusy->setGeometry(120, 80, 320, 16);
    pbBusy->setRange(0, 0);  // busy: the size of the page is not known in advance
    pbBusy->setTextVisible(false);
    lbBusy->hide();
    pbBusy->hide();
    connect(btnGo, &QPushButton::clicked, this, [this] { btnGoClick(); });
    connect(btnSetting, &QPushButton::clicked, this, [this] { btnSettingClick(); });
    connect(btnOK, &QPushButton::clicked, this, [this] { btnOKClick(); });
    connect(btnCancel, &QPushButton::clicked, this, [this] { btnCancelClick(); });
    FormCreate();
    DialogLook::CentreOverMainWindow(this);
}

TFrmYouTube::~TFrmYouTube() = default;

void TFrmYouTube::FormCreate() {
    setWindowTitle(DialogLook::TextOr(QStringLiteral("DlgYoutuboTitle"), QStringLiteral("Online Video")));
    lbYouTuBeUrl->setText(DialogLook::TextOr(QStringLiteral("lbYouTuBeUrl"), QStringLiteral("Address:")));
    btnGo->setText(DialogLook::TextOr(QStringLiteral("btnGo"), QStringLiteral("Go")));
    btnSetting->setText(DialogLook::TextOr(QStringLiteral("btnProxy"), QStringLiteral("Proxy...")));
    btnOK->setText(DialogLook::TextOr(QStringLiteral("btnProxyOk"), QStringLiteral("OK")));
    btnCancel->setText(DialogLook::TextOr(QStringLiteral("btnProxyCancel"), QStringLiteral("Cancel")));
    listObj = std::make_unique<ListFileInfo>();
    listObj->IsYutubeFile = true;
}

void TFrmYouTube::btnGoClick() {
    const QString address = txtYoutubeUrl->text().trimmed();
    if (address.isEmpty() || !OnlineSites::IsVideoPageAddress(address)) {
        ShowInfo(DialogLook::TextOr(QStringLiteral("infoInvaildUrl"), QStringLiteral("infoInvaildUrl")));
        txtYoutubeUrl->setFocus();
        return;
    }
    listObj->YoutubeUrl = address;
    AnalyYoutubePage(address);
}

void TFrmYouTube::btnOKClick() {
    if (IsAnalysing()) return;
    if (listObj->YoutubeVideId.isEmpty() && listObj->YoutubeFlvUrl.isEmpty()) {
        const QString address = txtYoutubeUrl->text().trimmed();
        if (listObj->YoutubeUrl.isEmpty()) listObj->YoutubeUrl = address;
        if (!AnalyYoutubePage(address)) return;
    }
    listObj->IsYutubeFile = true;
    done(mrOk);
}

void TFrmYouTube::btnCancelClick() {
    if (analysis_) return analysis_->Cancel();  // stops the analysis; the dialog stays
    done(mrCancel);
}

void TFrmYouTube::reject() {
    if (!analysis_) return QDialog::reject();
    closeAfterAnalysis_ = true;
    analysis_->Cancel();
}

void TFrmYouTube::closeEvent(QCloseEvent* event) {
    if (!analysis_) return QDialog::closeEvent(event);
    event->ignore();
    reject();
}

void TFrmYouTube::btnSettingClick() {
    TfrmProxy dlg(this);
    MessageDialogs().ExecDialog(&dlg);
}

bool TFrmYouTube::AnalyYoutubePage(const QString& address) {
    if (analysis_) return false;
    // Fields the page lacks keep what an earlier analysis of this dialog found.
    TPageAnalysis analysis(address, THttpProxy::FromOptions(), listObj.get());
    QEventLoop loop;
    connect(&analysis, &QThread::finished, &loop, &QEventLoop::quit);
    connect(&analysis, &TPageAnalysis::Received, this, [this](qint64 bytes) {
        lbBusy->setText(FormatText(DialogLook::TextOr(QStringLiteral("lbReadingPage"), QStringLiteral("%s")),
                                   {QString::number(bytes / 1024)}));
    });
    analysis_ = &analysis;
    setBusy(true);
    analysis.start();
    loop.exec();
    // The loop also ends when the program is asked to quit: the analysis is not waited for then.
    if (!analysis.isFinished()) analysis.Cancel();
    analysis.wait();
    analysis_ = nullptr;
    setBusy(false);
    PageAnalysis::CopyOnlineFields(analysis.Found(), *listObj);
    const bool cancelled = analysis.Cancelled();
    if (!cancelled && !analysis.Error().isEmpty()) {
        FFMPEGLog.Error(QStringLiteral("Youtube Video:") + address + QStringLiteral("Error:") + analysis.Error());
        if (analysis.Refused())
            ShowInfo(FormatText(DialogLook::TextOr(QStringLiteral("infoPageNotAnalysed"), QStringLiteral("%s")),
                                {analysis.Error()}));
        else
            ShowInfo(DialogLook::TextOr(QStringLiteral("infoDotGetVideo"), QStringLiteral("infoDotGetVideo")));
    }
    if (closeAfterAnalysis_) {
        closeAfterAnalysis_ = false;
        done(mrCancel);
    }
    return !cancelled;
}

void TFrmYouTube::setBusy(bool busy) {
    lbBusy->setText(FormatText(DialogLook::TextOr(QStringLiteral("lbReadingPage"), QStringLiteral("%s")), {"0"}));
    lbBusy->setVisible(busy);
    pbBusy->setVisible(busy);
    btnGo->setEnabled(!busy);
    btnOK->setEnabled(!busy && okAllowed_);
    btnSetting->setEnabled(!busy);
    txtYoutubeUrl->setReadOnly(busy);
}

std::unique_ptr<ListFileInfo> TFrmYouTube::TakeEntity() {
    return std::move(listObj);
}

void TFrmYouTube::SetListFileInfoEntity(const ListFileInfo* existing) {
    if (existing) txtYoutubeUrl->setText(existing->YoutubeUrl);
    okAllowed_ = false;
    btnOK->setEnabled(false);
}
