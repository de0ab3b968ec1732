#include "profiles/ProfilePopupMeneu.h"

#include <QImage>
#include <QKeyEvent>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>

#include "app/DialogLook.h"
#include "profiles/IconUtils.h"
#include "profiles/ProfilePopuMenuBigItem.h"
#include "profiles/ProfilePopuMenuSmallItem.h"

namespace {
constexpr int kCustomWidth = 57;
constexpr int kCustomHeight = 22;

QScrollArea* whiteScrollBox(QWidget* parent, QWidget*& content) {
    auto* area = new QScrollArea(parent);
    area->setFrameShape(QFrame::NoFrame);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setWidgetResizable(false);
    content = new QWidget;
    content->setAutoFillBackground(true);
    QPalette pal = content->palette();
    pal.setColor(QPalette::Window, Qt::white);
    content->setPalette(pal);
    area->setPalette(pal);
    area->setWidget(content);
    return area;
}
}  // namespace

TProfilePopupMeneu::TProfilePopupMeneu(QWidget* parent)
    : QWidget(parent, Qt::Popup | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint) {
    setObjectName(QStringLiteral("ProfilePopMenu"));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    QFont small = font();
    small.setPointSize(8);
    setFont(small);
    LeftPanel = whiteScrollBox(this, leftContent_);
    LeftPanel->setObjectName(QStringLiteral("LeftPanel"));
    LeftPanel->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The category column takes no focus: its arrow keys reach the form, which moves the choice.
    LeftPanel->setFocusPolicy(Qt::NoFocus);
    setFocusPolicy(Qt::StrongFocus);
    RightPanel = whiteScrollBox(this, rightContent_);
    RightPanel->setObjectName(QStringLiteral("RightPanel"));
    RightPanel->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    RightPanel->setFocusPolicy(Qt::StrongFocus);
    btnCustom = new QPushButton(leftContent_);
    btnCustom->setObjectName(QStringLiteral("btnCustom"));
    btnCustom->setText(DialogLook::TextOr(QStringLiteral("btnCustomProfile"), QStringLiteral("Custom...")));
    btnCustom->resize(std::max(kCustomWidth, btnCustom->sizeHint().width()), kCustomHeight);
    connect(btnCustom, &QPushButton::clicked, this, [this] {
        if (!OnCustomClick) return;
        hide();
        OnCustomClick();
    });
    leftPanelFocused = true;
    resize(kWidth, kStartHeight);
}

TProfilePopupMeneu::~TProfilePopupMeneu() = default;

void TProfilePopupMeneu::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    LeftPanel->setGeometry(0, 0, kLeftWidth, height());
    leftContent_->resize(kLeftWidth, height());
    RightPanel->setGeometry(kLeftWidth, 0, width() - kLeftWidth, height());
    const int bottom = rightContent_->childrenRect().bottom() + 1;
    rightContent_->resize(RightPanel->viewport()->width(),
                          std::max(bottom, RightPanel->viewport()->height()));
}

TProfilePopuMenuSmallItem* TProfilePopupMeneu::AddMenuItem(const QString& caption, const QImage& icon) {
    auto* item = new TProfilePopuMenuSmallItem(leftContent_, rightContent_);
    item->SetCaption(caption);
    item->SetIconBitMap(icon);
    item->SetArrowBitmap(QImage(MenuArrowFile()));
    item->Index = static_cast<int>(SubItems.size());
    item->setGeometry(0, item->Index * TProfilePopuMenuSmallItem::kHeight, kLeftWidth,
                      TProfilePopuMenuSmallItem::kHeight);
    item->OnClick = [this](TProfilePopuMenuSmallItem* s) { ShowCategory(s); };
    item->OnEnter = [this](TProfilePopuMenuSmallItem*) { leftPanelFocused = true; };
    item->OnClickBig = [this](TProfilePopuMenuBigItem*) { hide(); };
    item->show();
    SubItems.push_back(item);
    resize(width(), height() + TProfilePopuMenuSmallItem::kHeight);
    return item;
}

void TProfilePopupMeneu::AdjustHeight() {
    if (height() < kMinHeight) resize(width(), kMinHeight);
    btnCustom->move((kLeftWidth - btnCustom->width()) / 2, height() - 30 - btnCustom->height());
}

void TProfilePopupMeneu::Popup() {
    setVisible(!isVisible());
    if (isVisible()) {
        raise();
        activateWindow();
        setFocus(Qt::PopupFocusReason);
    }
}

void TProfilePopupMeneu::SetBigMenuFocus() {
    if (!isVisible()) return;
    leftPanelFocused = false;
    RightPanel->setFocus();
}

void TProfilePopupMeneu::SetSmallMenuFocus() {
    if (!isVisible()) return;
    leftPanelFocused = true;
    setFocus(Qt::OtherFocusReason);
}

void TProfilePopupMeneu::ShowCategory(TProfilePopuMenuSmallItem* item) {
    if (!item || item == orgSmallItem) return;
    for (QObject* child : rightContent_->children())
        if (auto* w = qobject_cast<QWidget*>(child)) w->hide();
    for (TProfilePopuMenuSmallItem* other : SubItems)
        if (other != item) other->Deselect();
    const int columnWidth = RightPanel->viewport()->width();
    int top = 0;
    QWidget* previous = nullptr;
    for (TProfilePopuMenuBigItem* big : item->SubItems) {
        big->Deselect();
        big->setGeometry(0, top, columnWidth, big->height());
        big->FitDescription();
        big->show();
        if (previous) setTabOrder(previous, big);
        previous = big;
        top += big->height();
    }
    rightContent_->resize(columnWidth, std::max(top, RightPanel->viewport()->height()));
    // The column may now need its scroll bar, which narrows it: lay the items out once more.
    if (RightPanel->viewport()->width() != columnWidth) {
        top = 0;
        for (TProfilePopuMenuBigItem* big : item->SubItems) {
            big->setGeometry(0, top, RightPanel->viewport()->width(), big->height());
            big->FitDescription();
            top += big->height();
        }
        rightContent_->resize(RightPanel->viewport()->width(),
                              std::max(top, RightPanel->viewport()->height()));
    }
    RightPanel->verticalScrollBar()->setValue(0);
    orgSmallItem = item;
    currentSmallItem = item;
}

void TProfilePopupMeneu::moveCategory(int step) {
    if (SubItems.empty() || !currentSmallItem) return;
    const int count = static_cast<int>(SubItems.size());
    const int next = (currentSmallItem->Index + step + count) % count;
    SubItems[next]->Select();
}

void TProfilePopupMeneu::keyPressEvent(QKeyEvent* e) {
    switch (e->key()) {
        case Qt::Key_Down:
        case Qt::Key_Up:
            if (currentSmallItem && leftPanelFocused) moveCategory(e->key() == Qt::Key_Down ? 1 : -1);
            return;
        case Qt::Key_Right:
            // Into the shown category's profiles.
            if (orgSmallItem && !orgSmallItem->SubItems.empty()) {
                leftPanelFocused = false;
                orgSmallItem->SubItems.front()->setFocus(Qt::TabFocusReason);
            }
            return;
        case Qt::Key_Left:
            SetSmallMenuFocus();
            return;
        default:
            QWidget::keyPressEvent(e);  // Escape closes the pop-up
    }
}

void TProfilePopupMeneu::mousePressEvent(QMouseEvent* e) {
    // A click outside closes the pop-up. On the profile row itself the click must not reach the
    // row as well, or it would open the picker again at once.
    if (!rect().contains(e->position().toPoint()) && fInvokeControl &&
        fInvokeControl->rect().contains(fInvokeControl->mapFromGlobal(e->globalPosition().toPoint()))) {
        setAttribute(Qt::WA_NoMouseReplay);
        hide();
        return;
    }
    QWidget::mousePressEvent(e);
}
