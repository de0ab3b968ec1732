#include "tools/FileInfoDlg.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <algorithm>

#include "app/DialogLook.h"
#include "app/Utils.h"

TFileInfoDlg::TFileInfoDlg(QWidget* parent) : QDialog(parent) {
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    DialogLook::Apply(this, 284, 321);
    setWindowTitle(
        DialogLook::TextOr(QStringLiteral("DlgFileInfoTitle"), QStringLiteral("File Information")));
    auto* label = new QLabel(
        DialogLook::TextOr(QStringLiteral("FileInfoLabel"), QStringLiteral("Media File Information")), this);
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
    using namespace DialogLook;
    Resizable(this, {{txtFileInfo, akLeft | akTop | akRight | akBottom}, {OKBtn, akBottom}});
    DialogLook::CentreOverMainWindow(this);
}

void TFileInfoDlg::SetFileInfo(const QString& text) {
    txtFileInfo->setPlainText(text);
    // Opens wide enough for its longest line (stream lines are long), within the screen.
    const QFontMetrics metrics(txtFileInfo->font());
    int widest = 0;
    for (const QString& line : text.split(QLatin1Char('\n')))
        widest = std::max(widest, metrics.horizontalAdvance(line));
    const int chrome = width() - txtFileInfo->viewport()->width() + 2 * txtFileInfo->document()->documentMargin();
    int wanted = widest + chrome + 4;
    if (const QScreen* s = screen()) wanted = std::min(wanted, s->availableGeometry().width() * 9 / 10);
    if (wanted > width()) resize(wanted, height());
}
