// The main window's lifecycle: start-up order, menus and columns, tray icon, closing.
#include "app/MainFrm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLibraryInfo>
#include <QScreen>
#include <QTranslator>
#include <QSignalBlocker>
#include <QUrl>
#include <functional>

#include "app/ButtonArt.h"
#include "app/DialogSeam.h"
#include "app/DialogLook.h"
#include "app/FileListItem.h"
#include "app/Platform.h"
#include "app/Utils.h"
#include "app/FrameSinkWidget.h"
#include "app/HelpWindow.h"
#include "app/ListJournal.h"
#include "convert/ConvertDlg.h"
#include "online/UpdateFrm.h"
#include "profiles/ProfilePopupMeneu.h"
#include "engine/probe/AVProbe.h"
#include "engine/library/FFmpegLogger.h"
#include "engine/transcode/FFmpegTasks.h"
#include "engine/player/Player.h"
#include "profiles/IconUtils.h"
#include "profiles/ParaInfo.h"
#include "profiles/ProfileMenu.h"
#include "profiles/StartupProfile.h"
#include "settings/Lang.h"
#include "settings/Options.h"

int SnapshotCounter = 0;
bool Muted = false;

namespace {
const char* const kMenuRoots[] = {"FileMenu_0", "EditMenu_0", "ToolsMenu_0", "HelpMenu_0"};
}  // namespace

TfrmMain::TfrmMain(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                          Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Vanto Video Converter"));
    setMinimumSize(kBaseWidth, kBaseHeight);
    resize(kBaseWidth, kBaseHeight);
    FFmpegTasks = std::make_unique<TFFmpegTasks>();
    createComponents();
    createPreviewPanel();
    createTray();
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
    FormCreate();
    restoreWindowPlace();
    initialPlace_ = windowPlace();
}

void InstallToolkitTranslation(const QString& language) {
    // The toolkit's own texts (standard buttons, file choosers, text field menus) from its
    // installed translations; English needs none.
    static QTranslator* installed = nullptr;
    if (installed) {
        QCoreApplication::removeTranslator(installed);
        delete installed;
        installed = nullptr;
    }
    if (language.isEmpty() || language == QLatin1String("en")) return;
    const QString locale = language == QLatin1String("zh") ? QStringLiteral("zh_CN") : language;
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QStringLiteral("qtbase_") + locale, QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return;
    installed = translator.release();
    QCoreApplication::installTranslator(installed);
}

void TfrmMain::restoreWindowPlace() {
    // "x,y,width,height,maximised"; a place off every screen of today is not taken.
    const QStringList parts = GetOptions().MainWindowPlace.split(QLatin1Char(','));
    if (parts.size() != 5) return;
    int v[5];
    for (int i = 0; i < 5; ++i) {
        bool ok = false;
        v[i] = parts[i].toInt(&ok);
        if (!ok) return;
    }
    const QRect place(v[0], v[1], std::max(v[2], kBaseWidth), std::max(v[3], kBaseHeight));
    const QScreen* screen = QGuiApplication::screenAt(place.center());
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    resize(place.size().boundedTo(area.size()).expandedTo(minimumSize()));
    move(place.topLeft());
    if (v[4]) setWindowState(windowState() | Qt::WindowMaximized);
}

QString TfrmMain::windowPlace() const {
    const QRect normal = isMaximized() ? normalGeometry() : geometry();
    return QStringLiteral("%1,%2,%3,%4,%5")
        .arg(normal.x())
        .arg(normal.y())
        .arg(normal.width())
        .arg(normal.height())
        .arg(isMaximized() ? 1 : 0);
}

void TfrmMain::saveWindowPlace() {
    // A window left where it opened changes nothing (and writes nothing).
    const QString place = windowPlace();
    if (place == initialPlace_ || place == GetOptions().MainWindowPlace) return;
    GetOptions().MainWindowPlace = place;
    // Only the place is written: other changes held in memory are not saved by closing.
    TOptions stored;
    stored.LoadOptions(TOptions::OptionsFilePath());
    stored.MainWindowPlace = place;
    stored.SaveOptions();
}

TfrmMain::~TfrmMain() {
    if (!closing_) FormCloseQuery();
}

void TfrmMain::createTray() {
    TrayIcon = new QSystemTrayIcon(ButtonArt::TrayFrame(3), this);
    TrayIcon->setObjectName(QStringLiteral("TrayIcon"));
    PopupMenuTray = new QMenu(this);
    PopupMenuTray->setObjectName(QStringLiteral("PopupMenuTray"));
    QAction* restore = PopupMenuTray->addAction(QStringLiteral("&Restore"));
    restore->setObjectName(QStringLiteral("RestoreItem"));
    QAction* exitItem = PopupMenuTray->addAction(QStringLiteral("&Exit"));
    exitItem->setObjectName(QStringLiteral("ExitItem"));
    TrayIcon->setContextMenu(PopupMenuTray);
    connect(restore, &QAction::triggered, this, &TfrmMain::TrayIconDblClick);
    connect(exitItem, &QAction::triggered, this, &TfrmMain::ExitItemClick);
    connect(TrayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::DoubleClick || reason == QSystemTrayIcon::Trigger) TrayIconDblClick();
    });
    TrayAnimationTimer = new QTimer(this);
    TrayAnimationTimer->setInterval(200);
    connect(TrayAnimationTimer, &QTimer::timeout, this, &TfrmMain::TrayIconAnimate);
}

void TfrmMain::reportStartupProblem(const QString& what, const QString& message) {
    const QString text = what.isEmpty() ? message : what + QStringLiteral(": ") + message;
    StartupProblems << text;
    FFMPEGLog.Error(text);
    MessageDialogs().MessageBox(text, QStringLiteral("Vanto Video Converter"));
}

void TfrmMain::FormCreate() {
    // Each step runs on its own: a damaged data file is reported and start-up goes on, so the
    // window always opens.
    auto step = [this](const QString& what, const std::function<void()>& fn) {
        try {
            fn();
        } catch (const std::exception& e) {
            reportStartupProblem(what, QString::fromUtf8(e.what()));
        }
    };

    PaneProfile->Tag = -1;
    step(QString(), [] { QDir().mkpath(AppLogger::LogFolder()); });
    step(QStringLiteral("Logging"), [this] {
        AppLogger::Configure(JoinPath(ProgramFolder(), QStringLiteral("log4d.ini")));
        FFMPEGLog = AppLogger(QStringLiteral("logfile"));
    });
    step(QStringLiteral("Language file"), [] {
        LoadLang();
        InstallToolkitTranslation(Lang().Language);
    });
    step(QStringLiteral("Profile catalogue"), [] { LoadProfileMenu(); });
    step(QStringLiteral("Profile pictures"), [] { LoadIcons(); });
    step(QStringLiteral("Output parameters"), [] { LoadParaInfo(); });
    step(QStringLiteral("Menus"), [this] { BuildMenusAndColumns(); });
    if (!DeferMediaLibraries) LoadMediaLibraries();
    SnapshotCounter = 0;
    step(QStringLiteral("Options"), [this] { cmbOutput->setEditText(GetOptions().OutPutFolder); });
    step(QStringLiteral("Profiles"), [this] { BuildProfileMenu(); });
    step(QString(), [this] { ShowEmptyListState(); });

    Muted = false;
    VolTrace->setMinimum(0);
    VolTrace->setMaximum(VolTrace->width());
    VolTrace->setValue(VolTrace->width() * 2 / 3);
    BtnVol->setGeometry(BtnMute->geometry());
    BtnVol->hide();
    BtnMute->show();

    VideoSeek->SeekSettled();
    currentFile.clear();
    LockMainEditMenu();

    step(QString(), [this] {
        lbProductTitle->setText(GetOptions().ProductName);
        lbProductTitle->adjustSize();
        lbProductTitle->move(lbBottom->x() - lbProductTitle->width() / 2, lbProductTitle->y());
    });
    TrayIcon->hide();
    FileListView->setAcceptDrops(true);
    FileListView->viewport()->setAcceptDrops(true);
    FileListView->viewport()->installEventFilter(this);
    setAcceptDrops(true);
    createFileListMenu();
    connect(BtnAdd, &QToolButton::clicked, this, Guarded(&TfrmMain::spSkinBtnAddClick, "spSkinBtnAddClick"));
    connect(btnImageAdd, &QToolButton::clicked, this,
            Guarded(&TfrmMain::spSkinBtnAddClick, "spSkinBtnAddClick"));
    connect(BtnBrower, &QPushButton::clicked, this,
            Guarded(&TfrmMain::spSkinBtnBrowerClick, "spSkinBtnBrowerClick"));
    connect(cmbOutput, &QComboBox::activated, this, [this](int index) {
        RunGuarded(QStringLiteral("cmbOutputSelect"), [=, this] { cmbOutputSelect(index); });
    });
    connect(PaneProfile, &TProfilePane::clicked, this, Guarded(&TfrmMain::btnProfileClick, "btnProfileClick"));
    connect(BtnSetting, &QPushButton::clicked, this,
            Guarded(&TfrmMain::spSkinBtnSettingClick, "spSkinBtnSettingClick"));
    connect(BtnStart, &QToolButton::clicked, this, Guarded(&TfrmMain::BtnStartClick, "BtnStartClick"));
    connect(btnClip, &QToolButton::clicked, this, Guarded(&TfrmMain::btnClipClick, "btnClipClick"));
    connect(BtnFindTarget, &QPushButton::clicked, this,
            Guarded(&TfrmMain::spSkinBtnFindTargetClick, "spSkinBtnFindTargetClick"));
    connect(CkbApplyAll, &QCheckBox::clicked, this, Guarded(&TfrmMain::CkbApplyAllClick, "CkbApplyAllClick"));
    connect(ckbCkAll, &QCheckBox::clicked, this, Guarded(&TfrmMain::ckbCkAllClick, "ckbCkAllClick"));
    // Counted once per turn of the event loop however many rows changed in it.
    auto* recount = new QTimer(this);
    recount->setSingleShot(true);
    recount->setInterval(0);
    connect(recount, &QTimer::timeout, this, &TfrmMain::showRowsChecked);
    // Restarting a running timer costs a trip to the event dispatcher, once per row when every
    // row changes at once.
    auto recountSoon = [recount] {
        if (!recount->isActive()) recount->start();
    };
    connect(FileListView, &QTreeWidget::itemChanged, recount, [recountSoon](QTreeWidgetItem*, int column) {
        if (column == 0) recountSoon();
    });
    connect(FileListView->model(), &QAbstractItemModel::rowsRemoved, recount, recountSoon);
    connect(FileListView->model(), &QAbstractItemModel::rowsInserted, recount, recountSoon);
    connect(FileListView, &QTreeWidget::itemSelectionChanged, this,
            Guarded(&TfrmMain::FileListViewSelectItem, "FileListViewSelectItem"));
    connect(FileListView, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        RunGuarded(QStringLiteral("FileListViewMouseDown"), [this, pos] {
            PopupMenuFileListPopup();
            PopupMenuFileList->popup(FileListView->viewport()->mapToGlobal(pos));
        });
    });

    updateTimer = new QTimer(this);
    updateTimer->setSingleShot(true);
    updateTimer->setInterval(2000);
    connect(updateTimer, &QTimer::timeout, this, [this] {
        AutoUpdateCheck();
        updateTimer->deleteLater();
        updateTimer = nullptr;
    });
    updateTimer->start();

    connect(lbProductTitle, &TClickLabel::clicked, this, [this] { openAddress(GetOptions().ProductPage); });
    connect(lbBottom, &TClickLabel::clicked, this, [this] { openAddress(GetOptions().HomePage); });
    connect(EditMenu, &QMenu::aboutToShow, this, &TfrmMain::LockMainEditMenu);
    connect(BtnEdit, &QToolButton::clicked, this, Guarded(&TfrmMain::BtnEditClick, "BtnEditClick"));
    step(QStringLiteral("List journal"), [this] { StartListJournal(TListJournal::DefaultFile()); });
}

void TfrmMain::RunGuarded(const QString& where, const std::function<void()>& fn) {
    try {
        fn();
    } catch (const std::exception& e) {
        const QString message = QString::fromUtf8(e.what());
        FFMPEGLog.Error(where + QStringLiteral(": ") + message);
        MessageDialogs().MessageBox(message, QStringLiteral("Vanto Video Converter"));
    }
}

void TfrmMain::LoadMediaLibraries() {
    if (mediaLibrariesLoaded_) return;
    mediaLibrariesLoaded_ = true;
    try {
        InitFFMPEG();
    } catch (const std::exception& e) {
        reportStartupProblem(QStringLiteral("Media libraries"), QString::fromUtf8(e.what()));
    }
}

void TfrmMain::InitFFMPEG() {
    // The engine's log bridge: library lines are not shown anywhere, so only what the libraries
    // consider informative is formatted at all.
    TFFLogger& logger = GetFFLogger();
    logger.SetTriggerEventInMainThread(false);
    logger.SetLogLevel(TLogLevel::llInfo);
    const std::string libFolder = JoinPath(ProgramFolder(), QStringLiteral("lib")).toStdString();
    auto report = [this](const std::string& error) {
        const QString message = QString::fromStdString(error);
        StartupProblems << message;
        ShowInfo(message);
        FFMPEGLog.Error(message);
    };
    // First the preview player's set, then the transcoding component's, both from "lib".
    if (!FFPlayer->LoadAVLib(libFolder)) report(FFPlayer->LastErrMsg());
    if (!FFmpegTasks->LoadAVLib(libFolder)) report(FFmpegTasks->LastErrMsg());
}

void TfrmMain::ShowHelp() {
    if (!helpWindow_) helpWindow_ = new THelpWindow(this);
    if (helpWindow_->ShowContents()) return;
    const TOptions& o = GetOptions();
    openAddress(o.HelpPage.isEmpty() ? o.HomePage : o.HelpPage);
}

void TfrmMain::openAddress(const QString& address) {
    if (!address.isEmpty()) OpenDocumentReported(address);
}

// The desktop's usual keys, shown in the menus: Open adds files, Quit closes, F1 opens the
// help page; Delete removes the selected row while the list has the focus (and only then, so
// the key keeps its meaning in the output folder box).
void TfrmMain::setStandardShortcut(QAction* action) {
    const QString key = action->objectName();
    if (key == QLatin1String("FileMenu_00")) {
        action->setShortcut(QKeySequence::Open);
    } else if (key == QLatin1String("FileMenu_05")) {
        action->setShortcut(QKeySequence::Quit);
    } else if (key == QLatin1String("HelpMenu_00")) {
        action->setShortcut(QKeySequence::HelpContents);
    } else if (key == QLatin1String("EditMenu_01")) {
        action->setShortcut(QKeySequence::Delete);
        action->setShortcutContext(Qt::WidgetShortcut);
        FileListView->addAction(action);
    }
}

void TfrmMain::BuildMenusAndColumns() {
    FileListView->clear();
    FileListView->setColumnCount(0);
    QStringList captions;
    const int widths[] = {180, 70, 70, 120, 60};
    for (int i = 1; i <= 5; ++i)
        captions << GetLangText(QStringLiteral("fileListCol_%1").arg(i));
    FileListView->setHeaderLabels(captions);
    FileListView->header()->setStretchLastSection(false);
    for (int i = 0; i < 5; ++i) {
        FileListView->setColumnWidth(i, widths[i]);
        FileListView->headerItem()->setTextAlignment(i, Qt::AlignCenter);
    }

    QMenu* menus[] = {FileMenu, EditMenu, ToolsMenu, HelpMenu};
    for (int m = 0; m < 4; ++m)
        menus[m]->setTitle(GetLangText(QLatin1String(kMenuRoots[m])));

    auto fill = [this](QMenu* menu, const QStringList& keys) {
        menu->clear();
        for (const QString& key : keys) {
            const QString text = GetLangText(key);
            QAction* action = text == QLatin1String("-") ? menu->addSeparator() : menu->addAction(text);
            action->setObjectName(key);
            setStandardShortcut(action);
            connect(action, &QAction::triggered, this, [this, action] {
                RunGuarded(action->objectName(), [this, action] { MainMenuClick(action); });
            });
        }
    };
    auto numbered = [](const char* root, std::initializer_list<int> items) {
        QStringList keys;
        for (int i : items)
            keys << QLatin1String(root) + QString::number(i);
        return keys;
    };
    fill(FileMenu, numbered("FileMenu_0", {0, 1, 2, 3, 4, 5}));
    fill(EditMenu, numbered("EditMenu_0", {0, 1, 2, 3, 4, 5, 6, 7}));
    fill(ToolsMenu, numbered("ToolsMenu_0", {0, 1}));
    fill(HelpMenu, numbered("HelpMenu_0", {0, 1, 4, 5, 6, 7, 8, 9}) << QStringLiteral("HelpMenu_10"));

    ToolBar->setGeometry(3, ToolBar->y(), width() - 6, ToolBar->height());
    MainMenu->setGeometry(0, 0, ToolBar->width(), ToolBar->height());
    btnPause->setGeometry(BtnPlay->x(), BtnPlay->y(), BtnPlay->width() - 1, BtnPlay->height());
    btnPause->hide();
    playState = TPlayState::psStop;
    FileListView->move(10, FileListView->y());
    ckbCkAll->move(FileListView->x() + 7, FileListView->y() + 4);
    applyWindowTexts();
}

QAction* TfrmMain::MenuAction(const QString& key) const {
    for (QMenu* menu : {FileMenu, EditMenu, ToolsMenu, HelpMenu})
        for (QAction* a : menu->actions())
            if (a->objectName() == key) return a;
    return nullptr;
}

void TfrmMain::MainMenuClick(QObject* sender) {
    if (!sender) return;
    const QString key = sender->objectName();
    if (key == QLatin1String("FileMenu_00") || key == QLatin1String("FileMenu_02")) {
        spSkinBtnAddClick();
    } else if (key == QLatin1String("FileMenu_01")) {
        MenuAddFolderClick();
    } else if (key == QLatin1String("EditMenu_00")) {
        spSkinBtnClearClick();
    } else if (key == QLatin1String("EditMenu_01")) {
        spSkinBtnRemoveClick();
    } else if (key == QLatin1String("EditMenu_02")) {
        SubmenuItemRenameClick();
    } else if (key == QLatin1String("EditMenu_04")) {
        spSkinBtnMoveUpClick();
    } else if (key == QLatin1String("EditMenu_05")) {
        spSkinBtnMoveDownClick();
    } else if (key == QLatin1String("EditMenu_07")) {
        SubMenuItemFileInfoClick();
    } else if (key == QLatin1String("FileMenu_04")) {
        BtnStartClick();
    } else if (key == QLatin1String("FileMenu_05")) {
        close();
    } else if (key == QLatin1String("ToolsMenu_00")) {
        ShowPreferences();
    } else if (key == QLatin1String("ToolsMenu_01")) {
        CustomProfileMeneuClick();
    } else if (key == QLatin1String("HelpMenu_00")) {
        ShowHelp();
    } else if (key == QLatin1String("HelpMenu_05")) {
        const TOptions& o = GetOptions();
        MessageDialogs().MessageBox(
            o.ProductName + QStringLiteral("\n\n") + o.Support + QStringLiteral("\n") + o.SupportEmail,
            QStringLiteral("Support"));
    } else if (key == QLatin1String("HelpMenu_10")) {
        const TOptions& o = GetOptions();
        MessageDialogs().MessageBox(
            o.ProductName + QStringLiteral("\nVersion ") + o.Vesion + QStringLiteral("\n\n") + o.HomePage,
            QStringLiteral("About"));
    } else if (key == QLatin1String("HelpMenu_06")) {
        openAddress(GetOptions().ProductPage);
    } else if (key == QLatin1String("HelpMenu_08")) {
        UpdateProgram(true);
    }
}

void TfrmMain::LockMainEditMenu() {
    const QList<QAction*> items = EditMenu->actions();
    if (items.size() < 8) return;
    items[4]->setEnabled(false);
    items[5]->setEnabled(false);
    const int count = FileListView->topLevelItemCount();
    items[0]->setEnabled(count > 0);
    const QList<QTreeWidgetItem*> selection = FileListView->selectedItems();
    QTreeWidgetItem* selected = selection.isEmpty() ? nullptr : selection.first();
    if (selected) {
        const int index = FileListView->indexOfTopLevelItem(selected);
        items[1]->setEnabled(true);
        items[2]->setEnabled(true);
        items[7]->setEnabled(true);
        items[4]->setEnabled(index >= 1);
        items[5]->setEnabled(index < count - 1);
    } else {
        items[1]->setEnabled(false);
        items[2]->setEnabled(false);
        items[7]->setEnabled(false);
    }
}

void TfrmMain::ShowFileListState() {
    FileListView->show();
    ckbCkAll->show();
    ckbCkAll->raise();
    btnImageAdd->hide();
    for (QWidget* w :
         std::initializer_list<QWidget*>{BtnOpenFolder, BtnPlay, BtnMute, VideoTracer, VolTrace, BtnStart})
        w->setEnabled(true);
    PanelRenderPanel->setPalette(QPalette());
    RenderSink->SetEmptyColour(Qt::black);
    CkbMerge->setEnabled(FileListView->topLevelItemCount() >= 2);
}

void TfrmMain::ShowEmptyListState() {
    FileListView->hide();
    ckbCkAll->hide();
    btnImageAdd->show();
    for (QWidget* w : std::initializer_list<QWidget*>{BtnSnap, BtnStop, BtnOpenFolder, BtnPlay, BtnMute,
                                                      VolTrace, btnClip, CkbMerge})
        w->setEnabled(false);
    LbVideoFileTitle->setText(DialogLook::TextOr(QStringLiteral("PreviewTitle"), QStringLiteral("Preview:")));
    StopPreview();
    {
        const QSignalBlocker block(VideoTracer);
        VideoTracer->setValue(0);
    }
    VideoTracer->setEnabled(false);
    previewDuration = 0;
    showPlayTime(0);
    QPalette pal = PanelRenderPanel->palette();
    const QColor grey = QApplication::palette().color(QPalette::Disabled, QPalette::Text);
    pal.setColor(QPalette::Window, grey);
    PanelRenderPanel->setPalette(pal);
    RenderSink->ShowStill(QImage());
    RenderSink->SetEmptyColour(grey);
}

void TfrmMain::MinimizeToTray() {
    fIconIndex = 0;
    const bool withRun = ConvertDlg && ConvertDlg->IsRunning();
    if (!TrayAvailable()) {
        // Nothing could bring hidden windows back: both are minimised instead, and restoring the
        // main window brings the conversion window back with it (changeEvent).
        FFMPEGLog.Info(QStringLiteral("No system tray: the windows are minimised"));
        showMinimized();
        if (withRun) ConvertDlg->showMinimized();
        return;
    }
    if (withRun) ConvertDlg->hide();
    hide();
    TrayIcon->show();
}

void TfrmMain::TrayIconAnimate() {
    fIconIndex = (fIconIndex + 1) % 3;
    TrayIcon->setIcon(ButtonArt::TrayFrame(fIconIndex));
    // The tray's tooltip tells how far the run has come while the windows are away.
    if (ConvertDlg && ConvertDlg->IsRunning()) {
        const TConvertQueue& queue = ConvertDlg->Queue;
        QString tip = GetLangText(QStringLiteral("tryTipHint")) + QStringLiteral("\n") +
                      FormatText(GetLangText(QStringLiteral("ConvertPartly")),
                                 {QString::number(queue.FinishedCount()),
                                  QString::number(std::max(queue.OutputRowCount(), 1))});
        const int64_t left = queue.RunRemainingMs();
        if (left >= 0)
            tip += QStringLiteral("\n") +
                   FormatText(GetLangText(QStringLiteral("ConvertRunLeft")), {FormatTime(left * 1000)});
        if (TrayIcon->toolTip() != tip) TrayIcon->setToolTip(tip);
    }
}

void TfrmMain::ShowTrayBalloon(const QString& title, const QString& text, bool success) {
    TrayIcon->showMessage(title, text, success ? QSystemTrayIcon::Information : QSystemTrayIcon::Critical,
                          1000);
}

void TfrmMain::TrayIconDblClick() {
    if (isMinimized()) showNormal();
    show();
    TrayIcon->hide();
    raise();
    activateWindow();
    if (ConvertDlg && ConvertDlg->IsRunning()) {
        ConvertDlg->showNormal();
        ConvertDlg->raise();
        ConvertDlg->activateWindow();
    }
}

void TfrmMain::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || isMinimized()) return;
    if (ConvertDlg && ConvertDlg->IsRunning() && ConvertDlg->isMinimized()) ConvertDlg->showNormal();
}

void TfrmMain::ExitItemClick() {
    QString question;
    try {
        question = GetLangText(QStringLiteral("ExitAskInfo"));
    } catch (const ELangError& e) {
        FFMPEGLog.Error(QString::fromUtf8(e.what()));
    }
    if (Ask(question) == mrNo) return;
    close();
    QApplication::quit();
}

bool TfrmMain::FormCloseQuery() {
    if (closing_) return true;
    closing_ = true;
    try {
        // Only a window the user has seen has a place worth keeping.
        if (isVisible()) saveWindowPlace();
    } catch (const std::exception& e) {
        FFMPEGLog.Error(QStringLiteral("Window place not saved: ") + QString::fromUtf8(e.what()));
    }
    try {
        if (ProfilePopMenu_) ProfilePopMenu_->close();
        ProfilePopMenu_.reset();
        if (FFPlayer) {
            FFPlayer->SetOnFileOpen(nullptr);
            FFPlayer->SetOnPosition(nullptr);
            FFPlayer->SetOnState(nullptr);
            FFPlayer->SetOnHook(nullptr);
            FFPlayer->Stop(true);
        }
        TrayAnimationTimer->stop();
        TrayIcon->hide();
        // A run going on in the background is cancelled: that ends its window's modal loop, and
        // the Start handler that runs it frees it. Without a run the component just stops.
        if (ConvertDlg && !ConvertDlg->Queue.finished) {
            // Ending on a signal keeps a long file's pieces: the journal offers the run again.
            if (closingBySignal_) ConvertDlg->Queue.KeepResumablePieces = true;
            ConvertDlg->btnCancelClickWithoutAsking();
        } else if (FFmpegTasks)
            FFmpegTasks->Stop(true);
    } catch (const std::exception& e) {
        FFMPEGLog.Error(QStringLiteral("FormCloseQuery: ") + QString::fromUtf8(e.what()));
    }
    // Ending on a signal (a log-out, a shut-down) is not the user closing the list: the journal
    // keeps it for the next start.
    if (ListJournal) closingBySignal_ ? ListJournal->Flush() : ListJournal->CloseCleanly();
    GetFFLogger().SetOnLog(nullptr);
    ResetOptions();
    FreeProfileMenu();
    FreeParaInfo();
    return true;
}

void TfrmMain::TerminateBySignal(int signalNumber) {
    FFMPEGLog.Info(QStringLiteral("Ending on signal %1").arg(signalNumber));
    closingBySignal_ = true;
    // An update being checked or downloaded stops without a question.
    if (TfrmUpdate* update = TfrmUpdate::Running()) update->CancelWithoutAsking();
    FormCloseQuery();
    QApplication::quit();
}

void TfrmMain::FormClose() {
    QApplication::quit();
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    if (FormCloseQuery()) {
        event->accept();
        FormClose();
    } else {
        event->ignore();
    }
}

void TfrmMain::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    applyLayout(event->size());
    if (ProfilePopMenu_) ProfilePopMenu_->hide();
}

void TfrmMain::contextMenuEvent(QContextMenuEvent* event) {
    event->accept();
}
