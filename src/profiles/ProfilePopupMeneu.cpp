#include "profiles/ProfilePopupMeneu.h"

#include <QImage>
#include <QKeyEvent>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>

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
    LeftPanel->setGeometry(0, 0, leftWidth_, height());
    leftContent_->resize(leftWidth_, height());
    RightPanel->setGeometry(leftWidth_, 0, width() - leftWidth_, height());
}

TProfilePopuMenuSmallItem* TProfilePopupMeneu::AddMenuItem(const QString& caption, const QImage& icon) {
    auto* item = new TProfilePopuMenuSmallItem(leftContent_, rightContent_);
    item->SetCaption(caption);
    item->SetIconBitMap(icon);
    item->SetArrowBitmap(QImage(MenuArrowFile()));
    item->Index = static_cast<int>(SubItems.size());
    // A long category title widens the column (and the form) rather than being cut off.
    const int needed = item->WidthForCaption();
    if (needed > leftWidth_) {
        const int grow = needed - leftWidth_;
        leftWidth_ = needed;
        for (TProfilePopuMenuSmallItem* other : SubItems)
            other->resize(leftWidth_, other->height());
        resize(width() + grow, height());
    }
    item->setGeometry(0, item->Index * TProfilePopuMenuSmallItem::kHeight, leftWidth_,
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
    btnCustom->move((leftWidth_ - btnCustom->width()) / 2, height() - 30 - btnCustom->height());
}

void TProfilePopupMeneu::Popup() {
    // Other clicks that close the pop-up reach the control under the pointer as usual.
    setAttribute(Qt::WA_NoMouseReplay, false);
    setVisible(!isVisible());
    if (isVisible()) {
        raise();
        activateWindow();
        // Every opening starts as the first: the arrows move through the categories.
        leftPanelFocused = true;
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
    // The width is worked out here rather than read from the scroll box, whose scroll bar may
    // appear only later: items as wide as the box, less the bar when they overflow its height.
    const int fullWidth = RightPanel->width() - 2 * RightPanel->frameWidth();
    auto layOut = [&](int columnWidth) {
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
        return top;
    };
    int columnWidth = fullWidth;
    int total = layOut(columnWidth);
    if (total > RightPanel->height() - 2 * RightPanel->frameWidth()) {
        columnWidth = fullWidth - style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, RightPanel);
        total = layOut(columnWidth);
    }
    rightContent_->resize(columnWidth, total);
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
        case Qt::Key_Return:
        case Qt::Key_Enter:
            // On a category Enter goes into its profiles (a second Enter chooses one); on a
            // profile the profile itself takes it.
            if (!leftPanelFocused) return;
            [[fallthrough]];
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
