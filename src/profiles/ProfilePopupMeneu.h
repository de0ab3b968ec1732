#pragma once
// The profile picker: a borderless pop-up above the main window's profile row with the
// catalogue's categories on the left and the shown category's profiles on the right, and a button
// that opens the profile customisation dialog. The main window fills it (BuildProfileMenu) and
// owns it; destroying the form frees every item. User-interface thread only.

#include <QPointer>
#include <QWidget>
#include <functional>
#include <vector>

class QPushButton;
class QScrollArea;
class TProfilePopuMenuBigItem;
class TProfilePopuMenuSmallItem;

class TProfilePopupMeneu : public QWidget {
    Q_OBJECT
public:
    explicit TProfilePopupMeneu(QWidget* parent = nullptr);
    ~TProfilePopupMeneu() override;

    // A new category item at the bottom of the left column; the form grows by its height.
    TProfilePopuMenuSmallItem* AddMenuItem(const QString& caption, const QImage& icon);
    // At least 380 pixels high; the custom button centred in the left column, 30 pixels above
    // the bottom edge.
    void AdjustHeight();
    // Shows the form when hidden, hides it when shown.
    void Popup();
    void SetBigMenuFocus();
    void SetSmallMenuFocus();
    // Shows a category's profiles in the right column (nothing when it is already shown).
    void ShowCategory(TProfilePopuMenuSmallItem* item);
    // The category whose profiles are shown, and the one keyboard moves start from.
    TProfilePopuMenuSmallItem* ShownCategory() const { return orgSmallItem; }
    TProfilePopuMenuSmallItem* CurSmallItem() const { return currentSmallItem; }
    void SetCurSmallItem(TProfilePopuMenuSmallItem* item) { currentSmallItem = item; }

    QWidget* InvokeControl() const { return fInvokeControl; }
    void SetInvokeControl(QWidget* control) { fInvokeControl = control; }
    std::function<void()> OnCustomClick;

    QScrollArea* LeftPanel;
    QScrollArea* RightPanel;
    QPushButton* btnCustom;
    std::vector<TProfilePopuMenuSmallItem*> SubItems;
    bool leftPanelFocused = true;

    static constexpr int kWidth = 475;
    static constexpr int kLeftWidth = 155;  // at least; wider for long category titles
    int LeftWidth() const { return leftWidth_; }
    static constexpr int kStartHeight = 36;
    static constexpr int kMinHeight = 380;

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void moveCategory(int step);
    QWidget* leftContent_;
    QWidget* rightContent_;
    TProfilePopuMenuSmallItem* orgSmallItem = nullptr;
    TProfilePopuMenuSmallItem* currentSmallItem = nullptr;
    QPointer<QWidget> fInvokeControl;
    int leftWidth_ = kLeftWidth;
};
