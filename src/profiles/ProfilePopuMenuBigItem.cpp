#include "profiles/ProfilePopuMenuBigItem.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QPixmap>
#include <QScrollArea>
#include <algorithm>

namespace {
constexpr int kIconLeft = 10;
constexpr int kIconTop = 6;
constexpr int kIconSize = 35;
constexpr int kTextLeft = kIconLeft + kIconSize + 10;
constexpr int kNameTop = 5;
constexpr int kNameHeight = 24;
}  // namespace

TProfilePopuMenuBigItem::TProfilePopuMenuBigItem(QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(true);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    resize(width(), kHeight);
    IconBitMap = new QLabel(this);
    IconBitMap->setGeometry(kIconLeft, kIconTop, kIconSize, kIconSize);
    IconBitMap->setScaledContents(true);
    IconBitMap->setAlignment(Qt::AlignCenter);
    ItemName = new QLabel(this);
    ItemName->setObjectName(QStringLiteral("ItemName"));
    QFont bold = ItemName->font();
    bold.setBold(true);
    ItemName->setFont(bold);
    ItemName->move(kTextLeft, kNameTop);
    ItemDesc = new QLabel(this);
    ItemDesc->setObjectName(QStringLiteral("ItemDesc"));
    ItemDesc->setWordWrap(true);
    ItemDesc->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    for (QLabel* l : {IconBitMap, ItemName, ItemDesc})
        l->setAttribute(Qt::WA_TransparentForMouseEvents);
    paint(PickerColours::kNormal);
}

void TProfilePopuMenuBigItem::SetCaption(const QString& text) {
    caption_ = text;
    ItemName->setText(text);
    ItemName->adjustSize();
    ItemName->resize(ItemName->width(), std::max(kNameHeight, ItemName->height()));
    FitDescription();
}

QString TProfilePopuMenuBigItem::Caption() const {
    return caption_;
}

void TProfilePopuMenuBigItem::SetDescription(const QString& text) {
    ItemDesc->setText(text);
    FitDescription();
}

void TProfilePopuMenuBigItem::SetMenuIcon(const QImage& icon) {
    IconBitMap->setPixmap(icon.isNull() ? QPixmap() : QPixmap::fromImage(icon));
}

void TProfilePopuMenuBigItem::FitDescription() {
    const int descWidth = std::max(10, width() - kIconLeft - kIconSize - 15);
    const QFontMetrics nameMetrics(ItemName->font());
    const bool nameFits = nameMetrics.horizontalAdvance(caption_) <= descWidth;
    ItemName->setText(nameFits ? caption_ : nameMetrics.elidedText(caption_, Qt::ElideRight, descWidth));
    ItemName->resize(nameFits ? nameMetrics.horizontalAdvance(caption_) + 2 : descWidth, ItemName->height());
    setToolTip(nameFits ? QString() : caption_ + '\n' + ItemDesc->text());
    const int top = ItemName->y() + ItemName->height() - 4;
    const int descHeight = std::max(kNameHeight, ItemDesc->heightForWidth(descWidth));
    ItemDesc->setGeometry(kTextLeft, top, descWidth, descHeight);
    // A long description wraps onto more lines than the standard height holds: the item grows
    // instead of cutting it off.
    const int needed = std::max(kHeight, top + descHeight + 2);
    if (height() != needed) resize(width(), needed);
}

void PickerColours::Paint(QWidget* item, const QColor& colour) {
    QPalette pal = item->palette();
    pal.setColor(QPalette::Window, colour);
    pal.setColor(QPalette::WindowText, colour == kSelected ? Qt::white : Qt::black);
    item->setPalette(pal);
}

void TProfilePopuMenuBigItem::Select() {
    isSelected = true;
    paint(PickerColours::kSelected);
    if (OnClick) OnClick(this);
    if (OnClickInner) OnClickInner(this);
    if (MotherClickEvent) MotherClickEvent(this);
    fdefault = true;
}

void TProfilePopuMenuBigItem::Deselect() {
    isSelected = false;
    fdefault = false;
    paint(PickerColours::kNormal);
}

void TProfilePopuMenuBigItem::SetDefault(bool value) {
    fdefault = value;
    isSelected = value;
    paint(value ? PickerColours::kSelected : PickerColours::kNormal);
}

void TProfilePopuMenuBigItem::enterEvent(QEnterEvent* e) {
    QWidget::enterEvent(e);
    if (!isSelected) paint(PickerColours::kHover);
}

void TProfilePopuMenuBigItem::leaveEvent(QEvent* e) {
    QWidget::leaveEvent(e);
    if (!isSelected) paint(PickerColours::kNormal);
    if (OnFocus) OnFocus(this);
}

void TProfilePopuMenuBigItem::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton)
        Select();
    else
        QWidget::mousePressEvent(e);
}

void TProfilePopuMenuBigItem::moveFocus(int step) {
    // The shown profiles are the visible items of the column, top to bottom.
    QList<TProfilePopuMenuBigItem*> shown;
    for (auto* item : parentWidget()->findChildren<TProfilePopuMenuBigItem*>(Qt::FindDirectChildrenOnly))
        if (item->isVisibleTo(parentWidget())) shown << item;
    std::sort(shown.begin(), shown.end(), [](auto* a, auto* b) { return a->y() < b->y(); });
    const qsizetype next = shown.indexOf(this) + step;
    if (next < 0 || next >= shown.size()) return;
    shown[next]->setFocus(Qt::TabFocusReason);
    for (QWidget* w = parentWidget(); w; w = w->parentWidget())
        if (auto* area = qobject_cast<QScrollArea*>(w)) {
            area->ensureWidgetVisible(shown[next], 0, 0);
            break;
        }
}

void TProfilePopuMenuBigItem::keyPressEvent(QKeyEvent* e) {
    switch (e->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            Select();
            return;
        case Qt::Key_Down:
            moveFocus(+1);
            return;
        case Qt::Key_Up:
            moveFocus(-1);
            return;
        case Qt::Key_Left:
            // Back to the categories: the form handles it (the scroll box would scroll instead).
            QCoreApplication::sendEvent(window(), e);
            return;
        default:
            QWidget::keyPressEvent(e);
    }
}

// The keyboard focus shows like the pointer does, so the keyboard user sees where Enter goes.
void TProfilePopuMenuBigItem::focusInEvent(QFocusEvent* e) {
    QWidget::focusInEvent(e);
    if (!isSelected) paint(PickerColours::kHover);
}

void TProfilePopuMenuBigItem::focusOutEvent(QFocusEvent* e) {
    QWidget::focusOutEvent(e);
    if (!isSelected) paint(PickerColours::kNormal);
}

void TProfilePopuMenuBigItem::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    const int descWidth = std::max(10, width() - kIconLeft - kIconSize - 15);
    if (ItemDesc->width() != descWidth) FitDescription();
}
