#include "online/ProxyDlg.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/DialogLook.h"
#include "app/Utils.h"
#include "online/HttpClient.h"
#include "settings/Options.h"

TfrmProxy::TfrmProxy(QWidget* parent) : QDialog(parent) {
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    DialogLook::Apply(this, 355, 274);
    ckbEnableProxy = new QCheckBox(QStringLiteral("Use Proxy"), this);
    ckbEnableProxy->setObjectName(QStringLiteral("ckbEnableProxy"));
    ckbEnableProxy->setGeometry(20, 12, 200, 22);
    AFGroupBox = new QGroupBox(QStringLiteral("Proxy Setting"), this);
    AFGroupBox->setGeometry(12, 40, 331, 186);
    const char* labels[] = {"Proxy Address:", "Proxy Port:", "Proxy User Name:", "Password:"};
    QLineEdit** fields[] = {&txtProxyAddr, &txtProxyPort, &txtUserName, &txtPassword};
    const char* names[] = {"txtProxyAddr", "txtProxyPort", "txtUserName", "txtPassword"};
    for (int i = 0; i < 4; ++i) {
        auto* label = new QLabel(QLatin1String(labels[i]), AFGroupBox);
        label->setGeometry(12, 30 + i * 38, 120, 22);
        *fields[i] = new QLineEdit(AFGroupBox);
        (*fields[i])->setObjectName(QLatin1String(names[i]));
        (*fields[i])->setGeometry(136, 30 + i * 38, 180, 24);
    }
    txtProxyPort->setText(QStringLiteral("80"));
    txtPassword->setEchoMode(QLineEdit::Password);
    btnOK = new QPushButton(DialogLook::TextOr(QStringLiteral("btnProxyOk"), QStringLiteral("OK")), this);
    btnOK->setGeometry(168, 238, 80, 25);
    btnOK->setDefault(true);
    btnCancel =
        new QPushButton(DialogLook::TextOr(QStringLiteral("btnProxyCancel"), QStringLiteral("Cancel")), this);
    btnCancel->setGeometry(260, 238, 80, 25);
    connect(ckbEnableProxy, &QCheckBox::toggled, this, [this] { ckbEnableProxyClick(); });
    connect(btnOK, &QPushButton::clicked, this, [this] { btnOKClick(); });
    connect(btnCancel, &QPushButton::clicked, this, [this] { btnCancelClick(); });
    FormCreate();
    DialogLook::CentreOverMainWindow(this);
}

void TfrmProxy::FormCreate() {
    setWindowTitle(DialogLook::TextOr(QStringLiteral("DlgProxyTitle"), QStringLiteral("Proxy Settings")));
    const TOptions& o = GetOptions();
    ckbEnableProxy->setChecked(o.IsUseProxy == QLatin1String("yes"));
    ckbEnableProxyClick();
    txtProxyAddr->setText(o.ProxyAddress);
    txtProxyPort->setText(o.ProxyPort);
    txtUserName->setText(o.ProxyUserName);
    txtPassword->setText(o.ProxyPwd);
}

void TfrmProxy::ckbEnableProxyClick() {
    AFGroupBox->setEnabled(ckbEnableProxy->isChecked());
}

void TfrmProxy::btnOKClick() {
    TOptions& o = GetOptions();
    o.IsUseProxy = ckbEnableProxy->isChecked() ? QStringLiteral("yes") : QStringLiteral("no");
    o.ProxyAddress = txtProxyAddr->text();
    o.ProxyPort = QString::number(THttpProxy::PortOf(txtProxyPort->text()));
    o.ProxyUserName = txtUserName->text();
    o.ProxyPwd = txtPassword->text();
    SaveOptionsReported();
    done(mrOk);
}

void TfrmProxy::btnCancelClick() {
    done(mrCancel);
}
