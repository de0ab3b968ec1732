#include "convert/RenameDlg.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/DialogLook.h"
#include "app/Utils.h"

TRenameDlg::TRenameDlg(QWidget* parent) : QDialog(parent) {
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("Rename output filename"));
    DialogLook::Apply(this, 382, 110);
    auto* label = new QLabel(QStringLiteral("File Name:"), this);
    label->move(18, 22);
    txtNewName = new QLineEdit(this);
    txtNewName->setObjectName(QStringLiteral("txtNewName"));
    txtNewName->setGeometry(18, 42, 347, 24);
    btnOk = new QPushButton(QStringLiteral("OK"), this);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnOk->setGeometry(196, 76, 80, 25);
    btnOk->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setGeometry(285, 76, 80, 25);
    connect(btnOk, &QPushButton::clicked, this, [this] { done(mrOk); });
    connect(btnCancel, &QPushButton::clicked, this, [this] { done(mrCancel); });
    DialogLook::CentreOverMainWindow(this);
}

void TRenameDlg::SetOrgName(const QString& name) {
    txtNewName->setText(name);
    txtNewName->selectAll();
}

QString TRenameDlg::GetNewName() const {
    return txtNewName->text();
}
