// The main window's preview panel: playing the chosen file, the position and volume sliders,
// mute, and snapshots with their menu. The player's events arrive on the user-interface thread
// through the engine's dispatcher.
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QtMath>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>

#include "app/DialogSeam.h"
#include "app/FileListItem.h"
#include "app/FrameSinkWidget.h"
#include "app/MainFrm.h"
#include "app/Platform.h"
#include "app/SnapshotWriter.h"
#include "app/StillPicture.h"
#include "app/Utils.h"
#include "engine/player/Player.h"
#include "settings/Lang.h"
#include "settings/Options.h"

void TfrmMain::createPreviewPanel() {
    VideoSeek = new TSliderSeek(this);
    RenderSink = new TFrameSinkWidget(PanelRenderPanel);
    RenderSink->setObjectName(QStringLiteral("RenderSink"));
    auto* fill = new QVBoxLayout(PanelRenderPanel);
    fill->setContentsMargins(PanelRenderPanel->contentsMargins());
    fill->addWidget(RenderSink);
    connect(RenderSink, &TFrameSinkWidget::clicked, this,
            Guarded(&TfrmMain::ToggleAudioDisplay, "ToggleAudioDisplay"));
    StillPictures = new TStillPicture(this);
    connect(StillPictures, &TStillPicture::Ready, this, [this](quint64 serial, const QImage& picture) {
        const TFileListItem* row = SelectedRow();
        if (row && row->Serial() == serial) RenderSink->ShowStill(picture);
    });

    MenuItemOpenFolder = PopupMenuFFPlay->addAction(QStringLiteral("Open Snapshot folder"));
    MenuItemOpenFolder->setObjectName(QStringLiteral("MenuItemOpenFolder"));
    MenuItemChangeFolder = PopupMenuFFPlay->addAction(QStringLiteral("Change Snapshot folder"));
    MenuItemChangeFolder->setObjectName(QStringLiteral("MenuItemChangeFolder"));
    QMenu* format = PopupMenuFFPlay->addMenu(QStringLiteral("Snapshot Format"));
    MenuItemJPG = format->addAction(QStringLiteral("JPG"));
    MenuItemJPG->setObjectName(QStringLiteral("MenuItemJPG"));
    MenuItemJPG->setCheckable(true);
    MenuItemBmp = format->addAction(QStringLiteral("BMP"));
    MenuItemBmp->setObjectName(QStringLiteral("MenuItemBmp"));
    MenuItemBmp->setCheckable(true);

    connect(PopupMenuFFPlay, &QMenu::aboutToShow, this, &TfrmMain::PopupMenuFFPlayPopup);
    connect(MenuItemOpenFolder, &QAction::triggered, this,
            Guarded(&TfrmMain::MenuItemOpenFolderClick, "MenuItemOpenFolderClick"));
    connect(MenuItemChangeFolder, &QAction::triggered, this,
            Guarded(&TfrmMain::MenuItemChangeFolderClick, "MenuItemChangeFolderClick"));
    connect(MenuItemJPG, &QAction::triggered, this, Guarded(&TfrmMain::MenuItemJPGClick, "MenuItemJPGClick"));
    connect(MenuItemBmp, &QAction::triggered, this, Guarded(&TfrmMain::MenuItemBmpClick, "MenuItemBmpClick"));
    connect(FileListView, &QTreeWidget::itemDoubleClicked, this,
            Guarded(&TfrmMain::FileListViewDblClick, "FileListViewDblClick"));
    connect(BtnPlay, &QToolButton::clicked, this,
            Guarded(&TfrmMain::spSkinBtnPlayClick, "spSkinBtnPlayClick"));
    connect(btnPause, &QToolButton::clicked, this,
            Guarded(&TfrmMain::spSkinBtnPlayClick, "spSkinBtnPlayClick"));
    connect(BtnStop, &QToolButton::clicked, this,
            Guarded(&TfrmMain::spSkinBtnStopClick, "spSkinBtnStopClick"));
    connect(BtnSnap, &QToolButton::clicked, this,
            Guarded(&TfrmMain::spSkinBtnSnapClick, "spSkinBtnSnapClick"));
    connect(BtnOpenFolder, &QToolButton::clicked, this,
            Guarded(&TfrmMain::spSkinBtnOpenFolderClick, "spSkinBtnOpenFolderClick"));
    connect(BtnMute, &QToolButton::clicked, this, Guarded(&TfrmMain::BtnVolClick, "BtnVolClick"));
    connect(BtnVol, &QToolButton::clicked, this, Guarded(&TfrmMain::BtnVolClick, "BtnVolClick"));
    connect(VideoTracer, &QSlider::valueChanged, this, &TfrmMain::VideoTracerPostionChange);
    connect(VolTrace, &QSlider::valueChanged, this, &TfrmMain::VolTraceChange);

    FFPlayer = std::make_unique<TFFPlayer>();
    FFPlayer->SetTriggerEventInMainThread(true);
    // The sound display draws no more often than the screen shows.
    if (const QScreen* screen = QGuiApplication::primaryScreen(); screen && screen->refreshRate() > 1)
        FFPlayer->set_rdftspeed(std::max(FFPlayer->rdftspeed(), qCeil(1000.0 / screen->refreshRate())));
    showPlayTime(0);
    FFPlayer->SetOnFileOpen(
        [this](TCustomPlayer*, int64_t duration, int, int, int&, int&) { FFPlayerFileOpen(duration); });
    FFPlayer->SetOnPosition([this](TCustomPlayer*, int64_t pts) { FFPlayerPosition(pts); });
    FFPlayer->SetOnState([this](TCustomPlayer*, TPlayState state) { FFPlayerState(state); });
}

void TfrmMain::ToggleAudioDisplay() {
    if (!FFPlayer->Playing()) return;  // a still picture is not switched
    if (FFPlayer->VideoStreamIndex() < 0) {
        FFPlayer->ToggleAudioDisplay();
        return;
    }
    if (!FFPlayer->ShowAudioOverVideo()) {
        FFPlayer->SetShowAudio(TShowAudio::saWave);
        FFPlayer->SetShowAudioOverVideo(true);
    } else if (FFPlayer->ShowAudio() == TShowAudio::saWave) {
        FFPlayer->SetShowAudio(TShowAudio::saRDFT);
    } else {
        FFPlayer->SetShowAudio(TShowAudio::saWave);
        FFPlayer->SetShowAudioOverVideo(false);
    }
}

void TfrmMain::showPlayTime(qint64 position, qint64 duration) {
    lbPlayTime->setText(FormatTime(std::max<qint64>(0, position)) + QStringLiteral(" / ") +
                        FormatTime(std::max<qint64>(0, duration < 0 ? previewDuration : duration)));
}

void TfrmMain::showSelectedRow() {
    const TFileListItem* row = SelectedRow();
    const ListFileInfo* entry = row ? row->Entry() : nullptr;
    if (!entry || entry->IsYutubeFile) {
        RenderSink->ShowStill(QImage());
        if (playState == TPlayState::psStop) setPreviewTitle(QString());
        return;
    }
    // A file being previewed keeps its own title and time; the still waits under its pictures.
    if (playState == TPlayState::psStop) {
        setPreviewTitle(row->text(TFileListItem::colName));
        showPlayTime(0, std::max<qint64>(0, entry->FileDurTime));
    }
    if (const std::optional<QImage> cached = StillPictures->Cached(row->Serial())) {
        RenderSink->ShowStill(*cached);
    } else {
        RenderSink->ShowStill(QImage());
        StillPictures->Request(row->Serial(), entry->FileName);
    }
}

void TfrmMain::StopPreview() {
    if (FFPlayer) FFPlayer->Stop(true);
    if (!BtnPlay) return;
    showPreviewState(TPlayState::psStop);
    showPlayTime(0);
}

void TfrmMain::showPreviewState(TPlayState state) {
    // Play and Pause share one place: Pause while pictures move, Play otherwise.
    playState = state == TPlayState::psPlay || state == TPlayState::psResume ? TPlayState::psPlay
                : state == TPlayState::psPause || state == TPlayState::psStep ? TPlayState::psPause
                                                                               : TPlayState::psStop;
    BtnPlay->setVisible(playState != TPlayState::psPlay);
    btnPause->setVisible(playState == TPlayState::psPlay);
    BtnStop->setEnabled(playState != TPlayState::psStop);
    BtnSnap->setEnabled(playState != TPlayState::psStop);
}

void TfrmMain::openPreview() {
    previewEnding_ = false;
    if (FFPlayer->Open(currentFile.toStdString(), RenderSink, false)) {
        showPreviewState(TPlayState::psPlay);
    } else {
        showPreviewState(TPlayState::psStop);
        const QString error = QString::fromStdString(FFPlayer->LastErrMsg());
        ShowInfo(error);
        FFMPEGLog.Error(error);
    }
}

void TfrmMain::FileListViewDblClick() {
    TFileListItem* row = SelectedRow();
    if (!row) {
        currentFile.clear();
        if (RowCount() == 0) return;
        row = Row(0);
        FileListView->setCurrentItem(row);
        row->setSelected(true);
    }
    const ListFileInfo* entry = row->Entry();
    if (!entry) return;
    try {
        StopPreview();
        if (entry->IsYutubeFile) {
            currentFile.clear();
            ShowOnlineEntry(*entry);
            return;
        }
        currentFile = entry->FileName;
        openPreview();
    } catch (const std::exception& e) {
        FFMPEGLog.Error(QStringLiteral("FileListViewDblClick: ") + QString::fromUtf8(e.what()));
    }
}

void TfrmMain::spSkinBtnPlayClick() {
    const QString opened = QString::fromStdString(FFPlayer->FileName());
    // The player itself says whether the file of the preview is open: what the buttons last
    // showed may be behind it.
    // A file that played to its end shows Play and is being closed: Play opens it again.
    const bool open = playState != TPlayState::psStop && !previewEnding_ && FFPlayer->Playing() &&
                      (currentFile.isEmpty() || currentFile == opened);
    if (open) {
        if (FFPlayer->Paused()) {
            FFPlayer->Resume();
            showPreviewState(TPlayState::psPlay);
        } else {
            FFPlayer->Pause();
            showPreviewState(TPlayState::psPause);
        }
    } else if (!currentFile.isEmpty()) {
        StopPreview();
        openPreview();
    } else if (const TFileListItem* row = SelectedRow(); row && row->Entry() && row->Entry()->IsYutubeFile) {
        ShowOnlineEntry(*row->Entry());
    }
}

void TfrmMain::spSkinBtnStopClick() {
    StopPreview();
    RenderSink->ClearFrame();
    showSelectedRow();
}

void TfrmMain::FFPlayerFileOpen(int64_t duration) {
    previewDuration = duration;
    setPreviewTitle(QFileInfo(QString::fromStdString(FFPlayer->FileName())).fileName());
    {
        const QSignalBlocker block(VideoTracer);
        VideoTracer->setMinimum(0);
        VideoTracer->setValue(0);
        VideoTracer->setMaximum(VideoTracer->width() - 1);
    }
    VideoTracer->setEnabled(true);
    VideoSeek->SetLast(0);
    VideoTracer->setTickInterval(duration / 1000000 < VideoTracer->width() ? 3 : 2);
    FFPlayer->SetAudioVolume(VolTrace->value() * 255 / VolTrace->width());
    VolTrace->setMaximum(VolTrace->width());
    showPlayTime(0);
}

void TfrmMain::FFPlayerPosition(int64_t pts) {
    if (pts < 0 || VideoSeek->Quiet() || previewDuration <= 0) return;
    {
        const QSignalBlocker block(VideoTracer);
        VideoTracer->setValue(static_cast<int>(VideoTracer->maximum() * pts / previewDuration));
    }
    VideoSeek->SetLast(pts);
    showPlayTime(pts);
}

void TfrmMain::FFPlayerState(TPlayState state) {
    // Events come through the player's event thread and may arrive after the preview moved on
    // (another file opened, stopped by hand): only the state the player is in still counts.
    if (FFPlayer->State() != state) return;
    if (state != TPlayState::psStop && state != TPlayState::psEnd) {
        // A file that has played to its end is being closed: what it reports on its way out
        // (it pauses on its last picture) does not bring the buttons back.
        // The event's state may already be behind (a pause right after opening): the player's
        // own answer counts.
        if (!previewEnding_) showPreviewState(FFPlayer->Paused() ? TPlayState::psPause : TPlayState::psPlay);
        return;
    }
    {
        const QSignalBlocker block(VideoTracer);
        VideoTracer->setValue(0);
    }
    // The next Play opens the file again instead of pausing a player that has stopped.
    showPreviewState(TPlayState::psStop);
    showPlayTime(0);
    VideoSeek->SeekSettled();
    showSelectedRow();
    if (state == TPlayState::psStop) {
        previewEnding_ = false;
        RenderSink->ClearFrame();
    } else {
        previewEnding_ = true;
        FFPlayer->Stop(false);
    }
}

void TfrmMain::VideoTracerPostionChange(int position) {
    // Only the user moves the slider with signals on; the position events move it silently.
    if (previewDuration <= 0 || VideoTracer->maximum() <= 0) return;
    const qint64 target = static_cast<qint64>(position) * previewDuration / VideoTracer->maximum();
    VideoSeek->UserMoved(target, [this](qint64 t) { FFPlayer->Seek(TSeekFlags(), static_cast<int64_t>(t)); });
}

void TfrmMain::VolTraceChange(int position) {
    if (VolTrace->width() > 0) FFPlayer->SetAudioVolume(position * 255 / VolTrace->width());
}

void TfrmMain::BtnVolClick() {
    Muted = !Muted;
    BtnVol->setVisible(Muted);
    BtnMute->setVisible(!Muted);
    FFPlayer->SetMute(Muted);
}

void TfrmMain::spSkinBtnSnapClick() {
    const QString folder = GetOptions().shapShotDir;
    if (!TSnapshotWriter::PrepareFolder(folder)) {
        ShowInfo(GetLangText(QStringLiteral("DlgFailedCreateSnapFolder")));
        return;
    }
    QString error;
    // Pictures with non-square pixels are saved as they are shown.
    TVideoStreamInfo video;
    const double aspect =
        FFPlayer->AVProbe().GetVideoStreamInfo(FFPlayer->VideoStreamIndex(), video) ? video.AspectRatio : 0;
    const QString path = TSnapshotWriter::Save(
        TSnapshotWriter::ToDisplaySize(FFPlayer->CurrentFrame(), aspect), folder,
        QString::fromStdString(FFPlayer->FileName()), GetOptions().SnapShotFormat, SnapshotCounter, &error);
    if (path.isEmpty()) {
        FFMPEGLog.Error(QStringLiteral("Snapshot not saved: ") + error);
        return;
    }
    showStatus(FormatText(GetLangText(QStringLiteral("SnapshotSaved")), {QFileInfo(path).fileName()}));
}

void TfrmMain::showStatus(const QString& text) {
    lbStatus->setText(text);
    lbStatus->setToolTip(text);
    // Cleared after a while, unless another message replaced it meanwhile.
    QTimer::singleShot(6000, lbStatus, [label = lbStatus, text] {
        if (label->text() == text) label->clear();
    });
}

void TfrmMain::spSkinBtnOpenFolderClick() {
    PopupMenuFFPlay->popup(BtnOpenFolder->mapToGlobal(QPoint(BtnOpenFolder->width(), 25)));
}

void TfrmMain::PopupMenuFFPlayPopup() {
    MenuItemJPG->setChecked(GetOptions().SnapShotFormat == 0);
    MenuItemBmp->setChecked(GetOptions().SnapShotFormat == 1);
}

void TfrmMain::MenuItemOpenFolderClick() {
    const QString folder = GetOptions().shapShotDir;
    if (TSnapshotWriter::PrepareFolder(folder))
        GetPlatform().OpenDocument(folder);
    else
        ShowInfo(GetLangText(QStringLiteral("DlgFailedCreateSnapFolder")));
}

void TfrmMain::MenuItemChangeFolderClick() {
    QString folder = GetOptions().shapShotDir;
    if (!BrowseForFolder(GetLangText(QStringLiteral("DlgSelSnapShot")), this, folder)) return;
    GetOptions().shapShotDir = folder;
    GetOptions().SaveOptions();
}

void TfrmMain::MenuItemJPGClick() {
    GetOptions().SnapShotFormat = TSnapshotWriter::sfJpeg;
    GetOptions().SaveOptions();
}

void TfrmMain::MenuItemBmpClick() {
    GetOptions().SnapShotFormat = TSnapshotWriter::sfBmp;
    GetOptions().SaveOptions();
}
