#include "app/VantoAskDlg.h"

#include <QLabel>
#include <QPushButton>
#include <algorithm>

#include "app/DialogLook.h"
#include "app/Utils.h"

namespace {
constexpr int kLabelLeft = 28;
constexpr int kLabelTop = 46;
constexpr int kButtonTop = 82;
constexpr int kButtonHeight = 25;
}  // namespace

TVantoAskDlg::TVantoAskDlg(QWidget* parent) : QDialog(parent) {
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    DialogLook::Apply(this, 362, 120);
    lbInformation = new QLabel(this);
    lbInformation->setObjectName(QStringLiteral("lbInformation"));
    lbInformation->setAlignment(Qt::AlignCenter);
    lbInformation->move(kLabelLeft, kLabelTop);

    auto makeButton = [this](const char* name, const QString& caption, int left, int width, int result) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QLatin1String(name));
        b->setGeometry(left, kButtonTop, width, kButtonHeight);
        connect(b, &QPushButton::clicked, this, [this, result] { done(result); });
        return b;
    };
    suiBtnOk = makeButton("suiBtnOk", tr("Yes"), 170, 80, mrYes);
    btnNoA = makeButton("btnNoA", tr("No"), 268, 80, mrNo);
    btnYes = makeButton("btnYes", tr("Yes"), 10, 69, mrYes);
    btnYesAll = makeButton("btnYesAll", tr("Yes to All"), 97, 73, mrYesToAll);
    btnNo = makeButton("btnNo", tr("No"), 186, 73, mrNo);
    btnNoAll = makeButton("btnNoAll", tr("No to All"), 275, 73, mrNoToAll);
    suiBtnOk->setDefault(true);
    btnYes->hide();
    btnYesAll->hide();
    btnNo->hide();
    btnNoAll->hide();
    setWindowTitle(
        DialogLook::TextOr(QStringLiteral("DlgQuestion"), QStringLiteral("Vanto Video Converter")));
    DialogLook::CentreOverMainWindow(this);
}

void TVantoAskDlg::SetInfomation(const QString& text) {
    lbInformation->setText(text);
    lbInformation->adjustSize();
    // Wide messages widen the window; the buttons keep their places, so a tall message moves
    // them down instead of covering it.
    const int needed = lbInformation->width() + 2 * kLabelLeft;
    const int buttonTop = std::max(kButtonTop, kLabelTop + lbInformation->height() + 8);
    for (QPushButton* b : {suiBtnOk, btnNoA, btnYes, btnYesAll, btnNo, btnNoAll})
        b->move(b->x(), buttonTop);
    setFixedSize(std::max(width(), needed), buttonTop + kButtonHeight + 13);
    DialogLook::CentreOverMainWindow(this);
}

void TVantoAskDlg::SetTitle(const QString& text) {
    if (!text.isEmpty()) setWindowTitle(text);
}

void TVantoAskDlg::SetMultiAsk(bool multi) {
    btnYes->setVisible(multi);
    btnYesAll->setVisible(multi);
    btnNo->setVisible(multi);
    btnNoAll->setVisible(multi);
    suiBtnOk->setVisible(!multi);
    btnNoA->setVisible(!multi);
    (multi ? btnYes : suiBtnOk)->setDefault(true);
}

void TVantoAskDlg::reject() {
    done(mrCancel);
}
