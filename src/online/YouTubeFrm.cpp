#include "online/YouTubeFrm.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/CommEntity.h"
#include "app/DialogLook.h"
#include "app/DialogSeam.h"
#include "app/Utils.h"
#include "online/HttpClient.h"
#include "online/OnlineSites.h"
#include "online/ProxyDlg.h"
#include "online/YouTubePage.h"

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
    if (listObj->YoutubeVideId.isEmpty() && listObj->YoutubeFlvUrl.isEmpty()) {
        const QString address = txtYoutubeUrl->text().trimmed();
        if (listObj->YoutubeUrl.isEmpty()) listObj->YoutubeUrl = address;
        AnalyYoutubePage(address);
    }
    listObj->IsYutubeFile = true;
    done(mrOk);
}

void TFrmYouTube::btnCancelClick() {
    done(mrCancel);
}

void TFrmYouTube::btnSettingClick() {
    TfrmProxy dlg(this);
    MessageDialogs().ExecDialog(&dlg);
}

void TFrmYouTube::AnalyYoutubePage(const QString& address) {
    try {
        THttpClient http;
        http.Accept = QStringLiteral("text/html, */*");
        http.UserAgent = QStringLiteral("Mozilla/3.0 (compatible; Indy Library)");
        http.MaxRedirects = 20;
        http.SetProxy(THttpProxy::FromOptions());
        const QString page = http.GetText(address);
        YouTubePage::Analyse(page, *listObj);
    } catch (const std::exception& e) {
        FFMPEGLog.Error(QStringLiteral("Youtube Video:") + address + QStringLiteral("Error:") +
                        QString::fromUtf8(e.what()));
        ShowInfo(DialogLook::TextOr(QStringLiteral("infoDotGetVideo"), QStringLiteral("infoDotGetVideo")));
    }
}

std::unique_ptr<ListFileInfo> TFrmYouTube::TakeEntity() {
    return std::move(listObj);
}

void TFrmYouTube::SetListFileInfoEntity(const ListFileInfo* existing) {
    if (existing) txtYoutubeUrl->setText(existing->YoutubeUrl);
    btnOK->setEnabled(false);
}
