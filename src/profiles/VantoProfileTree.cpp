#include "profiles/VantoProfileTree.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/DialogLook.h"
#include "app/Utils.h"
#include "profiles/ProfileMenu.h"
#include "settings/Lang.h"

namespace {
constexpr int kRecordRole = Qt::UserRole;

bool checked(const QTreeWidgetItem* node) {
    return node->checkState(0) == Qt::Checked;
}
}  // namespace

TVantoProfileTree::TVantoProfileTree(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("VantoProfileTree"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    DialogLook::Apply(this, 487, 470);
    setWindowTitle(GetLangText(QStringLiteral("DlgCustProfileTitle")));

    profileTree = new QTreeWidget;
    profileTree->setObjectName(QStringLiteral("profileTree"));
    profileTree->setFixedSize(463, 405);
    profileTree->setIndentation(19);
    profileTree->setHeaderHidden(true);
    profileTree->setColumnCount(1);
    btnCheckAll = new QPushButton(GetLangText(QStringLiteral("btnCheckAll")));
    btnUnCheckAll = new QPushButton(GetLangText(QStringLiteral("btnUncheckAll")));
    btnOk = new QPushButton(GetLangText(QStringLiteral("btnTreeOk")));
    btnCancel = new QPushButton(GetLangText(QStringLiteral("btnTreeCancel")));
    btnOk->setDefault(true);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {btnCheckAll, btnUnCheckAll}) {
        b->setMinimumWidth(90);
        buttons->addWidget(b);
    }
    buttons->addStretch(1);
    for (QPushButton* b : {btnOk, btnCancel}) {
        b->setMinimumWidth(80);
        buttons->addWidget(b);
    }
    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(12, 12, 12, 12);
    page->addWidget(profileTree);
    page->addLayout(buttons);

    for (const auto& category : CategoryList()) {
        auto* node = new QTreeWidgetItem(profileTree, {category->Title});
        node->setFlags(node->flags() | Qt::ItemIsUserCheckable);
        node->setData(0, kRecordRole, QVariant::fromValue(static_cast<void*>(category.get())));
        node->setCheckState(0, category->Skip ? Qt::Unchecked : Qt::Checked);
        for (const auto& entry : category->Items) {
            auto* child = new QTreeWidgetItem(node, {entry->Name});
            child->setFlags(child->flags() | Qt::ItemIsUserCheckable);
            child->setData(0, kRecordRole, QVariant::fromValue(static_cast<void*>(entry.get())));
            child->setCheckState(0, entry->Skip ? Qt::Unchecked : Qt::Checked);
        }
        node->setExpanded(true);
    }
    // A click on a check box has already flipped it; only the change is passed on.
    connect(profileTree, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* node, int) {
        if (!updating_) propagate(node);
    });
    connect(btnCheckAll, &QPushButton::clicked, this, &TVantoProfileTree::btnCheckAllClick);
    connect(btnUnCheckAll, &QPushButton::clicked, this, &TVantoProfileTree::btnUnCheckAllClick);
    connect(btnOk, &QPushButton::clicked, this, &TVantoProfileTree::btnOkClick);
    connect(btnCancel, &QPushButton::clicked, this, [this] { done(mrCancel); });
    DialogLook::CentreOverMainWindow(this);
}

QTreeWidgetItem* TVantoProfileTree::CategoryNode(int index) const {
    return profileTree->topLevelItem(index);
}

void TVantoProfileTree::ToggleNode(QTreeWidgetItem* node) {
    if (node) node->setCheckState(0, checked(node) ? Qt::Unchecked : Qt::Checked);
}

void TVantoProfileTree::propagate(QTreeWidgetItem* node) {
    updating_ = true;
    if (!node->parent()) {
        for (int i = 0; i < node->childCount(); ++i)
            node->child(i)->setCheckState(0, node->checkState(0));
    } else {
        QTreeWidgetItem* category = node->parent();
        bool any = false;
        for (int i = 0; i < category->childCount(); ++i)
            any = any || checked(category->child(i));
        category->setCheckState(0, any ? Qt::Checked : Qt::Unchecked);
    }
    updating_ = false;
}

void TVantoProfileTree::setAll(bool value) {
    updating_ = true;
    for (int i = 0; i < profileTree->topLevelItemCount(); ++i) {
        QTreeWidgetItem* node = profileTree->topLevelItem(i);
        node->setCheckState(0, value ? Qt::Checked : Qt::Unchecked);
        for (int k = 0; k < node->childCount(); ++k)
            node->child(k)->setCheckState(0, value ? Qt::Checked : Qt::Unchecked);
    }
    updating_ = false;
}

void TVantoProfileTree::btnCheckAllClick() {
    setAll(true);
}

void TVantoProfileTree::btnUnCheckAllClick() {
    setAll(false);
}

void TVantoProfileTree::keyPressEvent(QKeyEvent* e) {
    // Space flips the selected node even when the tree does not have the focus.
    if (e->key() == Qt::Key_Space && !profileTree->hasFocus()) {
        ToggleNode(profileTree->currentItem());
        return;
    }
    QDialog::keyPressEvent(e);
}

std::vector<TProfileMenuNode> TVantoProfileTree::Nodes() const {
    std::vector<TProfileMenuNode> nodes;
    for (int i = 0; i < profileTree->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = profileTree->topLevelItem(i);
        TProfileMenuNode node;
        node.Category = static_cast<const TCategory*>(item->data(0, kRecordRole).value<void*>());
        node.Shown = checked(item);
        for (int k = 0; k < item->childCount(); ++k)
            node.Entries.push_back(
                {static_cast<const TMenuInfo*>(item->child(k)->data(0, kRecordRole).value<void*>()),
                 checked(item->child(k))});
        nodes.push_back(std::move(node));
    }
    return nodes;
}

void TVantoProfileTree::btnOkClick() {
    try {
        const QString text = ProfileMenuText(Nodes());
        SaveProfileMenu(text);
        ReloadProfileMenu();
    } catch (const std::exception&) {
        ShowInfo(GetLangText(QStringLiteral("SaveFailed")));
    }
    // The records the nodes point at may be gone now.
    profileTree->clear();
    done(mrOk);
}
