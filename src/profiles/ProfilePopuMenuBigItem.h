#pragma once
// One profile of the profile picker's right column: picture, bold name and wrapped description.
// Owned by the picker form's widget tree; its category item (TProfilePopuMenuSmallItem) lists it.
// User-interface thread only.

#include <QColor>
#include <QImage>
#include <QWidget>
#include <functional>

class QLabel;

// Colours of the picker's items.
namespace PickerColours {
inline const QColor kNormal{255, 255, 255};
inline const QColor kSelected{109, 120, 136};
inline const QColor kHover{210, 223, 244};
// Fills an item with `colour`; text is white on the selected colour, black otherwise.
void Paint(QWidget* item, const QColor& colour);
}  // namespace PickerColours

class TProfilePopuMenuBigItem : public QWidget {
    Q_OBJECT
public:
    using Handler = std::function<void(TProfilePopuMenuBigItem*)>;

    explicit TProfilePopuMenuBigItem(QWidget* parent = nullptr);

    void SetCaption(const QString& text);
    QString Caption() const;
    void SetDescription(const QString& text);
    void SetMenuIcon(const QImage& icon);
    // Lays the name and the description out for the item's current width: the description wraps
    // and the item grows when it needs more than the standard height; a name wider than the item
    // is elided and the whole name and description go into the item's tooltip.
    void FitDescription();

    // Selecting: selected colour, then OnClick, OnClickInner and MotherClickEvent, in this order.
    void Select();
    void Deselect();
    bool Selected() const { return isSelected; }
    // Highlight without calling any handler.
    void SetDefault(bool value);
    bool Default() const { return fdefault; }

    int Tag = -1;  // profile ID
    Handler OnClick;
    Handler OnClickInner;
    Handler OnFocus;
    Handler MotherClickEvent;

    QLabel* IconBitMap;
    QLabel* ItemName;
    QLabel* ItemDesc;

    static constexpr int kHeight = 48;

protected:
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void paint(const QColor& colour) { PickerColours::Paint(this, colour); }
    void moveFocus(int step);
    bool isSelected = false;
    bool fdefault = false;
    QString caption_;  // the whole name; ItemName may show it elided
};
