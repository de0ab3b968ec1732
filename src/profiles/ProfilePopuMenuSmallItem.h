#pragma once
// One category of the profile picker's left column: picture, title and arrow. Hovering for
// 100 ms or clicking shows the category's profiles. Lists its profile items (created by
// AddBigMenuItem, owned by the picker form's widget tree). User-interface thread only.

#include <QImage>
#include <QWidget>
#include <functional>
#include <vector>

class QLabel;
class QTimer;
class TProfilePopuMenuBigItem;

class TProfilePopuMenuSmallItem : public QWidget {
    Q_OBJECT
public:
    using Handler = std::function<void(TProfilePopuMenuSmallItem*)>;
    using BigHandler = std::function<void(TProfilePopuMenuBigItem*)>;

    // `bigItemParent` is the widget the category's profile items live in (the right column).
    TProfilePopuMenuSmallItem(QWidget* parent, QWidget* bigItemParent);

    void SetCaption(const QString& text);
    QString Caption() const;
    void SetIconBitMap(const QImage& icon);
    void SetArrowBitmap(const QImage& arrow);
    // The item width that shows the whole caption.
    int WidthForCaption() const;

    // A new profile item of this category, not yet placed.
    TProfilePopuMenuBigItem* AddBigMenuItem(const QString& caption, const QString& description,
                                            const QImage& icon);

    // Selecting: selected colour, OnClick (shows the profiles), Default.
    void Select();
    void Deselect();
    bool Selected() const { return isSelected; }
    void SetDefault(bool value);
    bool Default() const { return fdefault; }

    int Tag = -1;  // category ID
    int Index = 0;
    std::vector<TProfilePopuMenuBigItem*> SubItems;
    Handler OnClick;
    Handler OnEnter;
    BigHandler OnClickBig;
    BigHandler OnEnterBig;

    QLabel* MenuBitMap;
    QLabel* ItemName;
    QLabel* ItemArrow;
    QTimer* m_Timer = nullptr;

    static constexpr int kHeight = 24;

protected:
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void paint(const QColor& colour);  // PickerColours::Paint
    QWidget* bigItemParent_;
    bool isSelected = false;
    bool fdefault = false;
};
