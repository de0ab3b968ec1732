#pragma once
// The main window: start-up order, menus and list columns from the language table, the tray
// icon, and the close sequence. The file list, the start of a run and the preview panel are
// further responsibilities of this window, in their own source files.
// Everything here runs on the user-interface thread.

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QSlider>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QWidget>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

#include "app/AppLogger.h"
#include "app/SliderSeek.h"
#include "engine/player/PlayerTypes.h"

class ListFileInfo;
class TAVProbe;
class TConvertDlg;
class TFFmpegTasks;
class ListFileInfo;
class TFileListItem;
class TFormatInfo;
class TListJournal;
struct TJournalContent;
struct TJournalRow;
class TFFPlayer;
class TFrameSinkWidget;
class TProfilePopupMeneu;
class TProfilePopuMenuBigItem;
class TStillPicture;

// A clickable label (product title, maker line).
class TClickLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* e) override;
};

// The profile row's box: category picture and profile name; Tag holds the current profile ID.
class TProfilePane : public QFrame {
    Q_OBJECT
public:
    explicit TProfilePane(QWidget* parent);
    int Tag = -1;
    QLabel* ImageProfile;
    QLabel* lbProfile;
signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    // In the tab order; Enter, Space, F4 and Alt+Down open the picker as a click does.
    void keyPressEvent(QKeyEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
};

class THelpWindow;

class TfrmMain : public QWidget {
    Q_OBJECT
public:
    explicit TfrmMain(QWidget* parent = nullptr);  // runs FormCreate
    ~TfrmMain() override;

    // Start-up and lifecycle.
    void FormCreate();
    void InitFFMPEG();
    // The media libraries are large: when DeferMediaLibraries is set before the window is made,
    // FormCreate leaves them out and the program loads them with LoadMediaLibraries once the
    // window is on screen. LoadMediaLibraries loads them once; later calls do nothing.
    static inline bool DeferMediaLibraries = false;
    void LoadMediaLibraries();
    // Makes a profile current: its name and its category's picture in the profile row, its ID
    // in PaneProfile->Tag. An unknown ID takes the first profile of the first category.
    void SetTFormatMenuItem(int id);
    QLabel* lbProfile() const { return PaneProfile->lbProfile; }

    // The profile picker and the dialogs that tune the output.
    // Builds a fresh picker from the catalogue and makes the first recent profile current.
    void BuildProfileMenu();
    // Opens the picker above the profile row, or closes it.
    void btnProfileClick();
    // A profile chosen in the picker: current profile, every row's parameters, recent list.
    void profileMenuItemClick(TProfilePopuMenuBigItem* item);
    // Marks the current profile's category and profile inside the picker.
    void PopupMenuPopup();
    // The picker's custom button and Tools > Customize Profiles: the profile tree, then a
    // rebuilt picker when it ends with OK.
    void CustomProfileMeneuClick();
    // Tools > Preferences.
    void ShowPreferences();
    // The conversion settings dialog for every row of the list, and the run's merge choice.
    void spSkinBtnSettingClick();
    TProfilePopupMeneu* ProfilePopMenu() const { return ProfilePopMenu_.get(); }
    void BuildMenusAndColumns();
    void MainMenuClick(QObject* sender);
    void LockMainEditMenu();
    void MinimizeToTray();
    // Whether a system tray can show the icon; tests replace it.
    std::function<bool()> TrayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    void ShowTrayBalloon(const QString& title, const QString& text, bool success);
    void TrayIconAnimate();
    void TrayIconDblClick();
    void ExitItemClick();
    bool FormCloseQuery();
    void FormClose();
    // A termination signal: ends the program as closing the window does, without questions or
    // messages; a running conversion is cancelled and its unfinished files removed.
    void TerminateBySignal(int signalNumber);

    // File list states.
    void ShowFileListState();
    void ShowEmptyListState();

    // The media file list.
    void spSkinBtnAddClick();
    void MenuAddFolderClick();
    void AddVideFiles(const QStringList& paths);
    // The files and folders named on the command line (a folder stands for its entries, as
    // with Add Folder), added like Add Files.
    void AddStartupPaths(const QStringList& args);
    // The first step of AddVideFiles: rows for the paths, not yet probed.
    void AddVideFileRows(const QStringList& paths);
    void GetVideoFileInfo();
    void spSkinBtnRemoveClick();
    void spSkinBtnClearClick();
    void spSkinBtnMoveUpClick();
    void spSkinBtnMoveDownClick();
    void ckbCkAllClick();
    // The header box from the rows' check marks (every, none or some).
    void showRowsChecked();
    // Puts the rows in the order of `column`'s values (names and output names as a reader
    // orders them, numbers inside them by value; durations and sizes by amount). Rows with
    // equal values keep their order; the selected row stays selected.
    void SortRows(int column, Qt::SortOrder order);
    void SubmenuItemRenameClick();
    void SubMenuItemFileInfoClick();
    void FileListViewSelectItem();
    void PopupMenuFileListPopup();
    TFileListItem* Row(int index) const;
    TFileListItem* SelectedRow() const;
    int RowCount() const;
    // The parameters new rows take: the first row's, else the current profile's (a copy).
    std::unique_ptr<TFormatInfo> ParametersForNewRows() const;
    // The probe used for every file added.
    TAVProbe* Probe();
    // Where probing results are kept between runs (the per-user data folder).
    static QString ProbeCacheFile();

    // The list's journal (MainFrmJournal.cpp). Start-up journals into `file`; every change of
    // the list is reported with ListChanged; RestoreLastSession asks to bring back the list
    // an unclean end left in the journal (main calls it once the window shows).
    void StartListJournal(const QString& file);
    void ListChanged();
    void RestoreLastSession();
    TListJournal* ListJournal = nullptr;

    // The output folder row and the start of a run.
    void spSkinBtnBrowerClick();
    void cmbOutputSelect(int index);
    void spSkinBtnFindTargetClick();
    // The output folder box's text as an absolute folder (a relative one is taken from the
    // home folder and shown resolved); empty when the box is empty.
    QString OutputFolder();
    void CkbApplyAllClick();
    void BtnStartClick();
    void btnClipClick();

    // The preview panel and snapshots.
    void FileListViewDblClick();
    void spSkinBtnPlayClick();
    void spSkinBtnStopClick();
    void VideoTracerPostionChange(int position);
    void VolTraceChange(int position);
    void BtnVolClick();
    void spSkinBtnSnapClick();
    void spSkinBtnOpenFolderClick();
    void PopupMenuFFPlayPopup();
    void MenuItemOpenFolderClick();
    void MenuItemChangeFolderClick();
    void MenuItemJPGClick();
    void MenuItemBmpClick();
    void FFPlayerFileOpen(int64_t duration);
    void FFPlayerPosition(int64_t pts);
    void FFPlayerState(TPlayState state);
    // Stops the preview and waits until it has stopped (Start, clip dialog, empty list, closing).
    void StopPreview();
    // A click on the preview panel: a file with pictures goes from its pictures to the sound as
    // a wave, as a spectrum and back; a file without pictures from wave to spectrum to nothing.
    void ToggleAudioDisplay();
    TFFPlayer* Player() const { return FFPlayer.get(); }

    // The online paths.
    void BtnEditClick();
    // Shows an online row's page in the online video dialog, without adding it again.
    void ShowOnlineEntry(const ListFileInfo& entry);
    // Before a run: downloads the checked online rows in the download window; false when the
    // run is to stop (window cancelled, or download only chosen).
    bool DownloadOnlineRows();
    void UpdateProgram(bool ShowDlg);
    // Help > Help Contents and F1: the help window with the shipped pages, or the help page on
    // the web when no pages are installed.
    void ShowHelp();
    // A short confirmation in the status line under the list.
    void showStatus(const QString& text);

    void AutoUpdateCheck();

    // A checked list row with its texts and entry.
    TFileListItem* MakeRow(const QString& caption, const QString& output, const QString& format, const QString& tip,
                           std::unique_ptr<ListFileInfo> entry);
    static QString CategoryTagOf(const TFormatInfo* info);

    // Runs a user-interface handler: an exception is logged and its text shown, and the window
    // stays usable.
    void RunGuarded(const QString& where, const std::function<void()>& fn);
    // A handler for connect() that runs `member` guarded.
    auto Guarded(void (TfrmMain::*member)(), const QString& where) {
        return [this, member, where] { RunGuarded(where, [this, member] { (this->*member)(); }); };
    }

    // Menu actions, by key, for tests and dispatch.
    QAction* MenuAction(const QString& key) const;

    // Components, named as in the window's layout.
    QLabel* ImageBackGround;
    QWidget* ToolBar;
    QMenuBar* MainMenu;
    QMenu* FileMenu;
    QMenu* EditMenu;
    QMenu* ToolsMenu;
    QMenu* HelpMenu;
    TClickLabel* lbProductTitle;
    TClickLabel* lbBottom;
    QToolButton* BtnAdd;
    QToolButton* btnClip;
    QToolButton* BtnEdit;
    QTreeWidget* FileListView;
    QCheckBox* ckbCkAll;
    QToolButton* btnImageAdd;
    QCheckBox* CkbApplyAll;
    QCheckBox* CkbMerge;
    QLabel* LbVideoFileTitle;
    QLabel* lbStatus;  // short confirmations (a saved snapshot), cleared after a few seconds
    QFrame* PanelRenderPanel;
    QSlider* VideoTracer;
    QLabel* lbPlayTime;  // "position / duration" beside the position slider
    QToolButton* BtnPlay;
    QToolButton* btnPause;
    QToolButton* BtnStop;
    QToolButton* BtnSnap;
    QToolButton* BtnOpenFolder;
    QToolButton* BtnMute;
    QToolButton* BtnVol;
    QSlider* VolTrace;
    QLabel* Label1;
    TProfilePane* PaneProfile;
    QLabel* Label2;
    QComboBox* cmbOutput;
    QPushButton* BtnBrower;
    QPushButton* BtnSetting;
    QPushButton* BtnFindTarget;
    QToolButton* BtnStart;
    QMenu* PopupMenuFileList;
    QMenu* PopupMenuFFPlay;
    QAction* MenuItemOpenFolder;
    QAction* MenuItemChangeFolder;
    QAction* MenuItemJPG;
    QAction* MenuItemBmp;
    TFrameSinkWidget* RenderSink;  // paints the preview inside PanelRenderPanel
    TStillPicture* StillPictures;  // the selected row's picture while nothing plays
    QSystemTrayIcon* TrayIcon;
    QMenu* PopupMenuTray;
    QTimer* TrayAnimationTimer;

    // Window state.
    AppLogger FFMPEGLog;
    TPlayState playState = TPlayState::psStop;
    bool previewEnding_ = false;  // the file played to its end and is being closed
    QPointer<THelpWindow> helpWindow_;
    // Seeking with the position slider (prevPostion, stopEvent and m_Timer).
    TSliderSeek* VideoSeek;
    QString currentFile;
    int fIconIndex = 0;
    QTimer* updateTimer = nullptr;
    // Problems met during start-up (each was reported to the user and logged).
    QStringList StartupProblems;
    bool mediaLibrariesLoaded_ = false;
    // The transcoding component, shared by the probe step and the conversion run.
    std::unique_ptr<TFFmpegTasks> FFmpegTasks;
    // The conversion window of the current run; empty before and after.
    std::unique_ptr<TConvertDlg> ConvertDlg;
    // The preview player; its pictures go to RenderSink.
    std::unique_ptr<TFFPlayer> FFPlayer;
    // Duration of the file open for preview, microseconds.
    qint64 previewDuration = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    // How far the window's controls are moved from their places at the smallest size: dx, dy
    // the window's extra size, pw, ph the preview's.
    struct TLayoutShift {
        int dx = 0, dy = 0, pw = 0, ph = 0;
    };
    static constexpr int kBaseWidth = 878;
    static constexpr int kBaseHeight = 543;
    static TLayoutShift layoutShift(QSize size);
    void applyLayout(QSize size);
    // The window's size, place and maximised state: restored at start, kept at the end.
    void restoreWindowPlace();
    void saveWindowPlace();
    QString windowPlace() const;
    QString initialPlace_;
    TLayoutShift layoutShift_;
    void createComponents();
    static QStringList folderEntries(const QString& folder);
    void setStandardShortcut(QAction* action);
    void createFileListMenu();
    void createPreviewPanel();
    void openPreview();
    // The play, pause, stop and snapshot buttons as the player's state `state` wants them.
    void showPreviewState(TPlayState state);
    void moveSelectedRow(int delta);
    // The list menu's Sort by: sorts the list by `column`, ascending, and descending when the
    // same column is chosen again. The new order is the list's order (conversion, merge and the
    // journal follow it).
    void SortRowsBy(int column);
    // Starts measuring a constant-quality entry's output size off the user-interface thread.
    void measureQualitySize(const ListFileInfo* entry);
    // The window's state after rows were added: list shown, clip and merge enabled as fits.
    void showListAfterAdding();
    // The list as the journal copies it: its own fields, then row by row.
    TJournalContent listJournalHeader() const;
    void listJournalRow(int index, std::vector<TJournalRow>& rows) const;
    void restoreRows(TJournalContent& content);
    void setPreviewTitle(const QString& caption);
    // While nothing plays, the preview title and the still picture follow the selected row.
    void showSelectedRow();
    // "position / duration" beside the slider; the duration is the previewed file's unless given.
    void showPlayTime(qint64 position, qint64 duration = -1);
    static QStringList droppedPaths(const QMimeData* mime);
    void createTray();
    void reportStartupProblem(const QString& what, const QString& message);
    void openAddress(const QString& address);
    void applyWindowTexts();
    // Gives every row its own copy of `params` and shows the row's new format and size; with
    // `categoryTag` the rows also take the tag of the profile's category.
    void giveRowsParameters(const TFormatInfo& params, bool categoryTag);
    bool closing_ = false;
    std::unique_ptr<TProfilePopupMeneu> ProfilePopMenu_;
    bool closingBySignal_ = false;
    // The conversion in progress, for the list's journal: its output folder (empty when none)
    // and the list entries it converts, each with its place in the run (the run's row i
    // converts the entry at i).
    QString runFolder_;
    std::unordered_map<const ListFileInfo*, size_t> runEntries_;
    void endRunJournal();
};

// Loads the window toolkit's own translation for a language code of the language table ("zh":
// Simplified Chinese), replacing the one loaded before; nothing for English or a language the
// toolkit has no translation for.
void InstallToolkitTranslation(const QString& language);

// Process-wide values of the main window's unit.
extern int SnapshotCounter;
extern bool Muted;
