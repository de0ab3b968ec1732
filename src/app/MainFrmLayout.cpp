// The main window's components at their places (client coordinates of the fixed 878 x 543 window).
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QResizeEvent>
#include <algorithm>

#include "app/ButtonArt.h"
#include "app/MainFrm.h"

void TClickLabel::mouseReleaseEvent(QMouseEvent* e) {
    QLabel::mouseReleaseEvent(e);
    if (e->button() == Qt::LeftButton && rect().contains(e->pos())) emit clicked();
}

TProfilePane::TProfilePane(QWidget* parent) : QFrame(parent) {
    setFrameShape(QFrame::StyledPanel);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    ImageProfile = new QLabel(this);
    ImageProfile->setObjectName(QStringLiteral("ImageProfile"));
    ImageProfile->setGeometry(3, 2, 17, 17);
    ImageProfile->setScaledContents(true);
    lbProfile = new QLabel(this);
    lbProfile->setObjectName(QStringLiteral("lbProfile"));
    lbProfile->setGeometry(26, 1, 400, 19);
}

void TProfilePane::resizeEvent(QResizeEvent* e) {
    QFrame::resizeEvent(e);
    lbProfile->resize(std::max(0, width() - lbProfile->x() - 4), lbProfile->height());
}

void TProfilePane::mouseReleaseEvent(QMouseEvent* e) {
    QFrame::mouseReleaseEvent(e);
    if (e->button() == Qt::LeftButton) emit clicked();
}

void TProfilePane::keyPressEvent(QKeyEvent* e) {
    const int key = e->key();
    const bool altDown = key == Qt::Key_Down && (e->modifiers() & Qt::AltModifier);
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space || key == Qt::Key_F4 || altDown) {
        emit clicked();
        return;
    }
    QFrame::keyPressEvent(e);
}

void TProfilePane::focusInEvent(QFocusEvent* e) {
    QFrame::focusInEvent(e);
    setFrameShadow(QFrame::Sunken);
    setLineWidth(2);  // the keyboard's place is seen
}

void TProfilePane::focusOutEvent(QFocusEvent* e) {
    QFrame::focusOutEvent(e);
    setFrameShadow(QFrame::Plain);
    setLineWidth(1);
}

namespace {
QToolButton* imageButton(QWidget* parent, const char* name, ButtonArt::Glyph glyph, const QString& text,
                         QRect geometry, int iconSize = 24) {
    auto* b = new QToolButton(parent);
    b->setObjectName(QLatin1String(name));
    b->setIcon(ButtonArt::Icon(glyph, iconSize));
    b->setIconSize(QSize(iconSize, iconSize));
    if (!text.isEmpty()) {
        b->setText(text);
        b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    }
    b->setAutoRaise(text.isEmpty());
    b->setGeometry(geometry);
    return b;
}

// The list's header box: checked when every row is, unchecked when none is, partly checked
// between. A click on a partly checked box checks every row.
class TAllRowsCheckBox : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

protected:
    void nextCheckState() override { setCheckState(checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked); }
};

QSize iconButtonSize() {
    return QSize(28, 28);
}
}  // namespace

void TfrmMain::createComponents() {
    using ButtonArt::Glyph;
    ImageBackGround = new QLabel(this);
    ImageBackGround->setObjectName(QStringLiteral("ImageBackGround"));
    ImageBackGround->setGeometry(0, 0, 878, 543);
    ImageBackGround->setPixmap(ButtonArt::Background(878, 543));

    ToolBar = new QWidget(this);
    ToolBar->setObjectName(QStringLiteral("ToolBar"));
    ToolBar->setGeometry(0, 25, 878, 21);
    MainMenu = new QMenuBar(ToolBar);
    MainMenu->setObjectName(QStringLiteral("MainMenu"));
    MainMenu->setNativeMenuBar(false);
    MainMenu->setGeometry(0, 0, 878, 21);
    FileMenu = MainMenu->addMenu(QString());
    FileMenu->setObjectName(QStringLiteral("FileMenu"));
    EditMenu = MainMenu->addMenu(QString());
    EditMenu->setObjectName(QStringLiteral("EditMenu"));
    ToolsMenu = MainMenu->addMenu(QString());
    ToolsMenu->setObjectName(QStringLiteral("ToolsMenu"));
    HelpMenu = MainMenu->addMenu(QString());
    HelpMenu->setObjectName(QStringLiteral("HelpMenu"));

    lbProductTitle = new TClickLabel(this);
    lbProductTitle->setObjectName(QStringLiteral("lbProductTitle"));
    lbProductTitle->move(566, 46);
    lbProductTitle->setCursor(Qt::PointingHandCursor);
    QFont titleFont = lbProductTitle->font();
    titleFont.setPointSize(titleFont.pointSize() + 4);
    titleFont.setBold(true);
    lbProductTitle->setFont(titleFont);
    lbBottom = new TClickLabel(QStringLiteral("Vantosoft"), this);
    lbBottom->setObjectName(QStringLiteral("lbBottom"));
    lbBottom->move(677, 77);
    lbBottom->adjustSize();
    lbBottom->setCursor(Qt::PointingHandCursor);

    BtnAdd = imageButton(this, "BtnAdd", Glyph::Add, tr("Add Files"), QRect(32, 54, 123, 32));
    btnClip = imageButton(this, "btnClip", Glyph::Clip, tr("Clip"), QRect(187, 54, 98, 32));
    btnClip->setEnabled(false);
    BtnEdit = imageButton(this, "BtnEdit", Glyph::Online, tr("Online Video"), QRect(296, 54, 101, 32));
    BtnEdit->hide();

    FileListView = new QTreeWidget(this);
    FileListView->setObjectName(QStringLiteral("FileListView"));
    FileListView->setGeometry(10, 108, 537, 335);
    FileListView->setRootIsDecorated(false);
    FileListView->setUniformRowHeights(true);
    FileListView->setSelectionMode(QAbstractItemView::SingleSelection);
    FileListView->setSelectionBehavior(QAbstractItemView::SelectRows);
    FileListView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    FileListView->setContextMenuPolicy(Qt::CustomContextMenu);
    FileListView->header()->setSectionsClickable(false);
    FileListView->header()->setSortIndicatorShown(false);
    FileListView->header()->setSectionsMovable(false);
    // An item rule replaces the style's own selection painting, so the selection colours are
    // given too, from the palette, with and without focus: otherwise a selected row is drawn
    // in highlighted-text colour on a white background.
    FileListView->setStyleSheet(
        QStringLiteral("QTreeView::item { border-right: 1px solid #d0d0d0; "
                       "border-bottom: 1px solid #d0d0d0; }"
                       "QTreeView::item:selected { background: palette(highlight); "
                       "color: palette(highlighted-text); }"));
    FileListView->hide();

    ckbCkAll = new TAllRowsCheckBox(this);
    ckbCkAll->setObjectName(QStringLiteral("ckbCkAll"));
    ckbCkAll->setChecked(true);
    ckbCkAll->hide();

    btnImageAdd = new QToolButton(this);
    btnImageAdd->setObjectName(QStringLiteral("btnImageAdd"));
    btnImageAdd->setIcon(QIcon(ButtonArt::BigAdd(32)));
    btnImageAdd->setIconSize(QSize(32, 32));
    btnImageAdd->setAutoRaise(true);
    btnImageAdd->setGeometry(187, 232, 32, 33);

    CkbApplyAll = new QCheckBox(QStringLiteral("Apply All"), this);
    CkbApplyAll->setObjectName(QStringLiteral("CkbApplyAll"));
    CkbApplyAll->move(441, 396);
    CkbApplyAll->setChecked(true);
    CkbApplyAll->hide();
    CkbMerge = new QCheckBox(QStringLiteral("Merge into one file"), this);
    CkbMerge->setObjectName(QStringLiteral("CkbMerge"));
    CkbMerge->move(441, 418);
    CkbMerge->hide();

    LbVideoFileTitle = new QLabel(QStringLiteral("Preview:"), this);
    LbVideoFileTitle->setObjectName(QStringLiteral("LbVideoFileTitle"));
    LbVideoFileTitle->setGeometry(580, 112, 280, 20);
    lbStatus = new QLabel(this);
    lbStatus->setObjectName(QStringLiteral("lbStatus"));
    lbStatus->setGeometry(10, 447, 537, 20);
    PanelRenderPanel = new QFrame(this);
    PanelRenderPanel->setObjectName(QStringLiteral("PanelRenderPanel"));
    PanelRenderPanel->setGeometry(568, 142, 300, 225);
    PanelRenderPanel->setFrameShape(QFrame::Box);
    PanelRenderPanel->setAutoFillBackground(true);

    VideoTracer = new QSlider(Qt::Horizontal, this);
    VideoTracer->setObjectName(QStringLiteral("VideoTracer"));
    VideoTracer->setGeometry(576, 381, 150, 20);
    lbPlayTime = new QLabel(this);
    lbPlayTime->setObjectName(QStringLiteral("lbPlayTime"));
    lbPlayTime->setGeometry(730, 381, 138, 20);
    lbPlayTime->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    BtnPlay = imageButton(this, "BtnPlay", Glyph::Play, QString(), QRect(QPoint(575, 409), iconButtonSize()));
    BtnPlay->setToolTip(QStringLiteral("Play"));
    btnPause =
        imageButton(this, "btnPause", Glyph::Pause, QString(), QRect(QPoint(575, 409), iconButtonSize()));
    btnPause->setToolTip(QStringLiteral("Pause"));
    BtnStop = imageButton(this, "BtnStop", Glyph::Stop, QString(), QRect(QPoint(622, 407), iconButtonSize()));
    BtnStop->setToolTip(QStringLiteral("Stop"));
    BtnSnap =
        imageButton(this, "BtnSnap", Glyph::Snapshot, QString(), QRect(QPoint(684, 410), iconButtonSize()));
    BtnSnap->setToolTip(QStringLiteral("Snapshot"));
    BtnOpenFolder = imageButton(this, "BtnOpenFolder", Glyph::Folder, QString(),
                                QRect(QPoint(715, 413), QSize(26, 22)), 18);
    BtnMute =
        imageButton(this, "BtnMute", Glyph::Speaker, QString(), QRect(QPoint(750, 416), QSize(24, 22)), 18);
    BtnVol = imageButton(this, "BtnVol", Glyph::SpeakerMuted, QString(),
                         QRect(QPoint(750, 416), QSize(24, 22)), 18);
    BtnVol->setToolTip(QStringLiteral("Enable Voice"));
    VolTrace = new QSlider(Qt::Horizontal, this);
    VolTrace->setObjectName(QStringLiteral("VolTrace"));
    VolTrace->setGeometry(778, 413, 85, 20);

    Label1 = new QLabel(tr("Profile:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->move(17, 475);
    PaneProfile = new TProfilePane(this);
    PaneProfile->setObjectName(QStringLiteral("PaneProfile"));
    PaneProfile->setGeometry(72, 473, 435, 21);

    Label2 = new QLabel(tr("Output:"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->move(17, 506);
    cmbOutput = new QComboBox(this);
    cmbOutput->setObjectName(QStringLiteral("cmbOutput"));
    cmbOutput->setEditable(true);
    cmbOutput->setInsertPolicy(QComboBox::NoInsert);
    cmbOutput->setGeometry(72, 504, 386, 22);
    cmbOutput->addItem(QStringLiteral("Clear"));
    BtnBrower = new QPushButton(QStringLiteral("..."), this);
    BtnBrower->setObjectName(QStringLiteral("BtnBrower"));
    BtnBrower->setGeometry(464, 503, 40, 24);

    BtnSetting = new QPushButton(tr("Settings..."), this);
    BtnSetting->setObjectName(QStringLiteral("BtnSetting"));
    BtnSetting->setGeometry(517, 472, 110, 24);
    BtnFindTarget = new QPushButton(tr("Open Folder"), this);
    BtnFindTarget->setObjectName(QStringLiteral("BtnFindTarget"));
    BtnFindTarget->setGeometry(517, 503, 110, 24);

    BtnStart = imageButton(this, "BtnStart", Glyph::Start, tr("Start"), QRect(647, 469, 154, 59), 40);
    QFont startFont = BtnStart->font();
    startFont.setPointSize(startFont.pointSize() + 5);
    startFont.setBold(true);
    BtnStart->setFont(startFont);

    PopupMenuFileList = new QMenu(this);
    PopupMenuFileList->setObjectName(QStringLiteral("PopupMenuFileList"));
    PopupMenuFFPlay = new QMenu(this);
    PopupMenuFFPlay->setObjectName(QStringLiteral("PopupMenuFFPlay"));

    // The keyboard goes through the window as it reads: the buttons along the top, the list and
    // its choices, the preview, then the profile, output and Start rows.
    const QList<QWidget*> order{BtnAdd,    btnClip,    BtnEdit,  FileListView, btnImageAdd, CkbApplyAll, CkbMerge,
                                VideoTracer, BtnPlay,  btnPause, BtnStop,      BtnSnap,     BtnOpenFolder,
                                BtnMute,   BtnVol,     VolTrace, PaneProfile,  BtnSetting,  BtnStart,
                                cmbOutput, BtnBrower,  BtnFindTarget};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
}

TfrmMain::TLayoutShift TfrmMain::layoutShift(QSize size) {
    // The window's first size is its smallest. The list takes the extra width; the preview grows
    // in its own 4:3 shape with at most half the extra width, and only as far as the extra
    // height allows.
    TLayoutShift s;
    s.dx = std::max(0, size.width() - kBaseWidth);
    s.dy = std::max(0, size.height() - kBaseHeight);
    s.ph = std::min(s.dy, s.dx * 3 / 8);
    s.pw = s.ph * 4 / 3;
    return s;
}

void TfrmMain::applyLayout(QSize size) {
    // Every control moves by the difference between the shift it has and the one the new size
    // wants, so places set elsewhere (captions that size themselves) stay where they were put.
    const TLayoutShift to = layoutShift(size);
    const TLayoutShift& from = layoutShift_;
    const int listW = (to.dx - to.pw) - (from.dx - from.pw);  // the list's extra width
    const int dx = to.dx - from.dx, dy = to.dy - from.dy, pw = to.pw - from.pw, ph = to.ph - from.ph;
    layoutShift_ = to;
    if (!dx && !dy && !pw && !ph) return;
    auto shift = [](QWidget* w, int x, int y, int width, int height) {
        const QRect g = w->geometry();
        w->setGeometry(g.x() + x, g.y() + y, g.width() + width, g.height() + height);
    };
    ImageBackGround->setGeometry(0, 0, size.width(), size.height());
    const int listExtra = to.dx - to.pw;
    ImageBackGround->setPixmap(ButtonArt::Background(size.width(), size.height(),
                                                     QRect(6, 100, 546 + listExtra, 350 + to.dy),
                                                     QRect(560 + listExtra, 100, 312 + to.pw, 350 + to.ph)));
    shift(ToolBar, 0, 0, dx, 0);
    MainMenu->setGeometry(0, 0, ToolBar->width(), ToolBar->height());
    for (QWidget* w : {static_cast<QWidget*>(lbProductTitle), static_cast<QWidget*>(lbBottom)})
        shift(w, dx, 0, 0, 0);
    // The list and what lies over it.
    shift(FileListView, 0, 0, listW, dy);
    shift(btnImageAdd, (to.dx - to.pw) / 2 - (from.dx - from.pw) / 2, to.dy / 2 - from.dy / 2, 0, 0);
    for (QWidget* w : {CkbApplyAll, CkbMerge})
        shift(w, listW, dy, 0, 0);
    shift(lbStatus, 0, dy, listW, 0);
    // The preview column.
    shift(LbVideoFileTitle, listW, 0, pw, 0);
    shift(PanelRenderPanel, listW, 0, pw, ph);
    shift(VideoTracer, listW, ph, pw, 0);
    for (QWidget* w : std::initializer_list<QWidget*>{BtnPlay, btnPause, BtnStop, BtnSnap, BtnOpenFolder})
        shift(w, listW, ph, 0, 0);
    for (QWidget* w : std::initializer_list<QWidget*>{lbPlayTime, BtnMute, BtnVol, VolTrace})
        shift(w, dx, ph, 0, 0);
    // The rows along the bottom.
    for (QWidget* w : {Label1, Label2})
        shift(w, 0, dy, 0, 0);
    for (QWidget* w : std::initializer_list<QWidget*>{PaneProfile, cmbOutput})
        shift(w, 0, dy, listW, 0);
    for (QWidget* w : std::initializer_list<QWidget*>{BtnBrower, BtnSetting, BtnFindTarget})
        shift(w, listW, dy, 0, 0);
    shift(BtnStart, dx, dy, 0, 0);
}
