#include "tools/FileInfoDlg.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include "app/DialogLook.h"
#include "app/Utils.h"

TFileInfoDlg::TFileInfoDlg(QWidget* parent) : QDialog(parent) {
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    DialogLook::Apply(this, 284, 321);
    setWindowTitle(
        DialogLook::TextOr(QStringLiteral("DlgFileInfoTitle"), QStringLiteral("File Information")));
    auto* label = new QLabel(QStringLiteral("Media File Information"), this);
    label->move(8, 8);
    txtFileInfo = new QPlainTextEdit(this);
    txtFileInfo->setObjectName(QStringLiteral("txtFileInfo"));
    txtFileInfo->setGeometry(8, 30, 268, 234);
    txtFileInfo->setReadOnly(true);
    txtFileInfo->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtFileInfo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtFileInfo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setGeometry(104, 280, 75, 25);
    connect(OKBtn, &QPushButton::clicked, this, [this] { done(mrOk); });
    DialogLook::CentreOverMainWindow(this);
}

void TFileInfoDlg::SetFileInfo(const QString& text) {
    txtFileInfo->setPlainText(text);
}
