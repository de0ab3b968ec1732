#include "profiles/ProfilePopuMenuSmallItem.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QTimer>

#include "profiles/ProfilePopuMenuBigItem.h"

namespace {
constexpr int kIconSize = 16;
constexpr int kCaptionLeft = kIconSize + 10;
constexpr int kArrowWidth = 16;
}  // namespace

TProfilePopuMenuSmallItem::TProfilePopuMenuSmallItem(QWidget* parent, QWidget* bigItemParent)
    : QWidget(parent), bigItemParent_(bigItemParent) {
    setAutoFillBackground(true);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
    resize(width(), kHeight);
    MenuBitMap = new QLabel(this);
    MenuBitMap->setGeometry(4, (kHeight - kIconSize) / 2, kIconSize, kIconSize);
    MenuBitMap->setScaledContents(true);
    ItemName = new QLabel(this);
    ItemName->setObjectName(QStringLiteral("ItemName"));
    ItemName->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    ItemArrow = new QLabel(this);
    ItemArrow->setAlignment(Qt::AlignCenter);
    for (QLabel* l : {MenuBitMap, ItemName, ItemArrow})
        l->setAttribute(Qt::WA_TransparentForMouseEvents);
    paint(PickerColours::kNormal);
}

void TProfilePopuMenuSmallItem::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    ItemName->setGeometry(kCaptionLeft, 0, width() - kCaptionLeft - kArrowWidth, height());
    ItemArrow->setGeometry(width() - kArrowWidth, 0, kArrowWidth, height());
}

void TProfilePopuMenuSmallItem::SetCaption(const QString& text) {
    ItemName->setText(text);
    setToolTip(text);
}

int TProfilePopuMenuSmallItem::WidthForCaption() const {
    return kCaptionLeft + ItemName->fontMetrics().horizontalAdvance(ItemName->text()) + 4 + kArrowWidth;
}

QString TProfilePopuMenuSmallItem::Caption() const {
    return ItemName->text();
}

void TProfilePopuMenuSmallItem::SetIconBitMap(const QImage& icon) {
    MenuBitMap->setPixmap(icon.isNull() ? QPixmap() : QPixmap::fromImage(icon));
}

void TProfilePopuMenuSmallItem::SetArrowBitmap(const QImage& arrow) {
    ItemArrow->setPixmap(arrow.isNull() ? QPixmap() : QPixmap::fromImage(arrow));
}

TProfilePopuMenuBigItem* TProfilePopuMenuSmallItem::AddBigMenuItem(const QString& caption,
                                                                   const QString& description,
                                                                   const QImage& icon) {
    auto* item = new TProfilePopuMenuBigItem(bigItemParent_);
    item->hide();
    item->SetCaption(caption);
    item->SetDescription(description);
    item->SetMenuIcon(icon);
    item->OnClickInner = [this](TProfilePopuMenuBigItem* b) {
        if (OnClickBig) OnClickBig(b);
    };
    item->OnFocus = [this](TProfilePopuMenuBigItem* b) {
        if (OnEnterBig) OnEnterBig(b);
    };
    item->MotherClickEvent = [this](TProfilePopuMenuBigItem* chosen) {
        for (TProfilePopuMenuBigItem* other : SubItems)
            if (other != chosen) other->Deselect();
    };
    SubItems.push_back(item);
    return item;
}

void TProfilePopuMenuSmallItem::paint(const QColor& colour) {
    PickerColours::Paint(this, colour);
}

void TProfilePopuMenuSmallItem::Select() {
    isSelected = true;
    paint(PickerColours::kSelected);
    if (OnClick) OnClick(this);
    fdefault = true;
}

void TProfilePopuMenuSmallItem::Deselect() {
    isSelected = false;
    fdefault = false;
    paint(PickerColours::kNormal);
}

void TProfilePopuMenuSmallItem::SetDefault(bool value) {
    fdefault = value;
    paint(value || isSelected ? PickerColours::kSelected : PickerColours::kNormal);
}

void TProfilePopuMenuSmallItem::enterEvent(QEnterEvent* e) {
    QWidget::enterEvent(e);
    paint(PickerColours::kSelected);
    if (OnEnter) OnEnter(this);
    if (!m_Timer) {
        m_Timer = new QTimer(this);
        m_Timer->setSingleShot(true);
        m_Timer->setInterval(100);
        connect(m_Timer, &QTimer::timeout, this, [this] { Select(); });
    }
    m_Timer->start();
}

void TProfilePopuMenuSmallItem::leaveEvent(QEvent* e) {
    QWidget::leaveEvent(e);
    if (m_Timer) m_Timer->stop();
    // The highlight goes with the pointer, also from the category whose profiles are shown.
    Deselect();
}

void TProfilePopuMenuSmallItem::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton)
        Select();
    else
        QWidget::mousePressEvent(e);
}
