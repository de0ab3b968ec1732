#include "convert/ErrorFileDlg.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include "app/DialogLook.h"
#include "app/Utils.h"
#include "settings/Lang.h"

TErrorFileDlg::TErrorFileDlg(QWidget* parent) : QDialog(parent) {
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    DialogLook::Apply(this, 382, 419);
    setWindowTitle(
        DialogLook::TextOr(QStringLiteral("DlgErrorFile"), QStringLiteral("Vanto Video Converter")));
    lbInfo = new QLabel(this);
    lbInfo->setObjectName(QStringLiteral("lbInfo"));
    lbInfo->setGeometry(18, 32, 347, 16);
    QPalette pal = lbInfo->palette();
    pal.setColor(QPalette::WindowText, Qt::red);
    lbInfo->setPalette(pal);
    lstError = new QListWidget(this);
    lstError->setObjectName(QStringLiteral("lstError"));
    lstError->setGeometry(18, 51, 347, 329);
    btnOk = new QPushButton(QStringLiteral("OK"), this);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnOk->setGeometry(162, 386, 75, 25);
    btnOk->setDefault(true);
    connect(btnOk, &QPushButton::clicked, this, [this] { done(mrOk); });
    // Long names and reasons wrap within the list's width rather than run out of sight.
    lstError->setWordWrap(true);
    lstError->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    lstError->setResizeMode(QListView::Adjust);
    lbInfo->setWordWrap(true);
    using namespace DialogLook;
    Resizable(this, {{lbInfo, akLeft | akTop | akRight},
                     {lstError, akLeft | akTop | akRight | akBottom},
                     {btnOk, akBottom}});
    DialogLook::CentreOverMainWindow(this);
}

void TErrorFileDlg::SetErroFiles(const QStringList& files, const QStringList& reasons) {
    lstError->clear();
    for (qsizetype i = 0; i < files.size(); ++i) {
        const QString reason = reasons.value(i);
        const QString line = reason.isEmpty() ? files[i] : files[i] + QStringLiteral(" — ") + reason;
        lstError->addItem(line);
        lstError->item(static_cast<int>(i))->setToolTip(line);
    }
    lbInfo->setText(FormatText(DialogLook::TextOr(QStringLiteral("ErrorFileLable"), QStringLiteral("%s")),
                               {QString::number(files.size())}));
}
