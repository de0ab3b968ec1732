#include "app/VantoDlg.h"

#include <QLabel>
#include <QPushButton>
#include <algorithm>

#include "app/DialogLook.h"
#include "app/Utils.h"

namespace {
constexpr int kLabelLeft = 32;
constexpr int kLabelTop = 42;
constexpr int kButtonWidth = 80;
constexpr int kButtonHeight = 27;
}  // namespace

TVantoDlg::TVantoDlg(QWidget* parent) : QDialog(parent) {
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    DialogLook::Apply(this, 307, 128);
    lbInformation = new QLabel(this);
    lbInformation->setObjectName(QStringLiteral("lbInformation"));
    lbInformation->setAlignment(Qt::AlignCenter);
    lbInformation->move(kLabelLeft, kLabelTop);
    suiBtnOk = new QPushButton(QStringLiteral("OK"), this);
    suiBtnOk->setObjectName(QStringLiteral("suiBtnOk"));
    suiBtnOk->setGeometry((width() - kButtonWidth) / 2, height() - kButtonHeight - 14, kButtonWidth,
                          kButtonHeight);
    suiBtnOk->setDefault(true);
    connect(suiBtnOk, &QPushButton::clicked, this, [this] { done(mrOk); });
    // The program's name stands in when the language file lacks the title.
    setWindowTitle(DialogLook::TextOr(QStringLiteral("DlgTitle"), QStringLiteral("Vanto Video Converter")));
    DialogLook::CentreOverMainWindow(this);
}

void TVantoDlg::SetInfomation(const QString& text) {
    lbInformation->setText(text);
    lbInformation->adjustSize();
    const int needed = lbInformation->width() + 2 * kLabelLeft;
    int h = height();
    // A long message may need more lines than the fixed height holds.
    const int neededHeight = kLabelTop + lbInformation->height() + kButtonHeight + 24;
    if (neededHeight > h) h = neededHeight;
    if (width() < needed || h != height()) setFixedSize(std::max(width(), needed), h);
    suiBtnOk->move((width() - suiBtnOk->width()) / 2, height() - kButtonHeight - 14);
    DialogLook::CentreOverMainWindow(this);
}

void TVantoDlg::SetTitle(const QString& text) {
    setWindowTitle(text);
}
