#include "tools/ClipTimeDlg.h"

#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QTimer>
#include <QToolButton>

#include "app/ButtonArt.h"
#include "app/CommEntity.h"
#include "app/DialogLook.h"
#include "app/FrameSinkWidget.h"
#include "app/SliderSeek.h"
#include "app/Utils.h"
#include "engine/player/Player.h"
#include "settings/Lang.h"

void TClipBar::SetMax(int max) {
    max_ = max;
    update();
}

void TClipBar::SetSelection(int start, int end) {
    selStart_ = start;
    selEnd_ = end;
    update();
}

void TClipBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), QColor(160, 160, 160));
    if (max_ <= 0 || selEnd_ < selStart_) return;
    const int x0 = static_cast<int>(static_cast<qint64>(selStart_) * width() / max_);
    const int x1 = static_cast<int>(static_cast<qint64>(selEnd_ + 1) * width() / max_);
    p.fillRect(QRect(x0, 0, qMax(1, x1 - x0), height()), QColor(40, 110, 220));
}

namespace {
QToolButton* toolButton(QWidget* parent, const char* name, const QString& text, const QString& hint,
                        QRect geometry) {
    auto* b = new QToolButton(parent);
    b->setObjectName(QLatin1String(name));
    b->setText(text);
    b->setToolTip(hint);
    b->setGeometry(geometry);
    return b;
}

QLineEdit* timeField(QWidget* parent, const char* name, QRect geometry) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(QLatin1String(name));
    // The first digit of the hours may be left out ("1:00:00").
    e->setInputMask(QStringLiteral("90:99:99;_"));
    e->setText(QStringLiteral("00:00:00"));
    e->setGeometry(geometry);
    return e;
}

QPushButton* pushButton(QWidget* parent, const char* name, const QString& text, QRect geometry) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    b->setGeometry(geometry);
    return b;
}
}  // namespace

TClipTimeDlg::TClipTimeDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("ClipTimeDlg"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    DialogLook::Apply(this, 516, 508);
    using ButtonArt::Glyph;

    PanelVideo = new QWidget(this);
    PanelVideo->setObjectName(QStringLiteral("PanelVideo"));
    PanelVideo->setGeometry(8, 8, 500, 352);
    VideoSink = new TFrameSinkWidget(PanelVideo);
    VideoSink->setObjectName(QStringLiteral("VideoSink"));
    VideoSink->setGeometry(PanelVideo->rect());

    VideoTracer = new QSlider(Qt::Horizontal, this);
    VideoTracer->setObjectName(QStringLiteral("VideoTracer"));
    VideoTracer->setGeometry(18, 366, 479, 20);
    VideoTracer->setTickPosition(QSlider::TicksBelow);
    ClipBar = new TClipBar(this);
    ClipBar->setObjectName(QStringLiteral("ClipBar"));
    ClipBar->setGeometry(18, 388, 479, 5);

    BtnPlay = toolButton(this, "BtnPlay", QString(), tr("Play"), QRect(18, 400, 30, 28));
    BtnPlay->setIcon(ButtonArt::Icon(Glyph::Play, 20));
    btnPause = toolButton(this, "btnPause", QString(), tr("Pause"), QRect(18, 400, 30, 28));
    btnPause->setIcon(ButtonArt::Icon(Glyph::Pause, 20));
    btnPause->hide();
    BtnNextFrame = toolButton(this, "BtnNextFrame", tr(">|"), tr("Next frame"), QRect(52, 400, 30, 28));
    BtnStart = toolButton(this, "BtnStart", tr("[ Start"), tr("Start here"), QRect(92, 400, 62, 28));
    BtnEnd = toolButton(this, "BtnEnd", tr("End ]"), tr("End here"), QRect(158, 400, 62, 28));
    lbTimeInfo = new QLabel(this);
    lbTimeInfo->setObjectName(QStringLiteral("lbTimeInfo"));
    lbTimeInfo->setGeometry(232, 404, 270, 20);
    lbTimeInfo->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    auto* startLabel = new QLabel(tr("Start:"), this);
    startLabel->setGeometry(18, 440, 40, 22);
    txtStartTime = timeField(this, "txtStartTime", QRect(58, 440, 70, 22));
    btnStartOk = pushButton(this, "btnStartOk", tr("OK"), QRect(130, 440, 36, 22));
    auto* endLabel = new QLabel(tr("End:"), this);
    endLabel->setGeometry(178, 440, 34, 22);
    txtEndTime = timeField(this, "txtEndTime", QRect(212, 440, 70, 22));
    BtnEndOk = pushButton(this, "BtnEndOk", tr("OK"), QRect(284, 440, 36, 22));
    auto* lengthLabel = new QLabel(tr("Length:"), this);
    lengthLabel->setGeometry(332, 440, 50, 22);
    lbLength = new QLabel(QStringLiteral("00:00:00"), this);
    lbLength->setObjectName(QStringLiteral("lbLength"));
    lbLength->setGeometry(384, 440, 60, 22);
    BtnReset = pushButton(this, "BtnReset", tr("Reset"), QRect(446, 440, 56, 22));
    BtnReset->setToolTip(QStringLiteral("Reset Clip time"));

    BtnOk = pushButton(this, "BtnOk", tr("OK"), QRect(338, 474, 80, 26));
    BtnCancel = pushButton(this, "BtnCancel", tr("Cancel"), QRect(424, 474, 80, 26));

    connect(BtnPlay, &QToolButton::clicked, this, &TClipTimeDlg::BtnPlayClick);
    connect(btnPause, &QToolButton::clicked, this, &TClipTimeDlg::BtnPlayClick);
    connect(BtnNextFrame, &QToolButton::clicked, this, &TClipTimeDlg::BtnNextFrameClick);
    connect(BtnStart, &QToolButton::clicked, this, &TClipTimeDlg::BtnStartClick);
    connect(BtnEnd, &QToolButton::clicked, this, &TClipTimeDlg::BtnEndClick);
    connect(btnStartOk, &QPushButton::clicked, this, &TClipTimeDlg::btnStartOkClick);
    connect(BtnEndOk, &QPushButton::clicked, this, &TClipTimeDlg::BtnEndOkClick);
    connect(BtnReset, &QPushButton::clicked, this, &TClipTimeDlg::BtnResetClick);
    connect(BtnOk, &QPushButton::clicked, this, &TClipTimeDlg::BtnOkClick);
    connect(BtnCancel, &QPushButton::clicked, this, &TClipTimeDlg::BtnCancelClick);
    connect(VideoTracer, &QSlider::valueChanged, this, &TClipTimeDlg::VideoTracerChange);

    VideoSeek = new TSliderSeek(this);
    FFPlayer = std::make_unique<TFFPlayer>();
    FormCreate();
    DialogLook::CentreOverMainWindow(this);
}

TClipTimeDlg::~TClipTimeDlg() {
    detachPlayer();
}

void TClipTimeDlg::FormCreate() {
    lbTimeInfo->clear();
    BtnPlay->setEnabled(false);
    BtnStart->setEnabled(false);
    BtnEnd->setEnabled(false);
    btnPause->setGeometry(BtnPlay->geometry());
    if (!FFPlayer->LoadAVLib(JoinPath(ProgramFolder(), QStringLiteral("lib")).toStdString()))
        ShowInfo(QString::fromStdString(FFPlayer->LastErrMsg()));
    VideoSeek->SeekSettled();
}

void TClipTimeDlg::connectPlayer() {
    TFFPlayer* player = FFPlayer.get();
    player->SetTriggerEventInMainThread(true);
    player->SetOnFileOpen(
        [this](TCustomPlayer*, int64_t duration, int, int, int&, int&) { FFPlayerFileOpen(duration); });
    player->SetOnPosition([this](TCustomPlayer*, int64_t pts) { FFPlayerPosition(pts); });
    player->SetOnState([this](TCustomPlayer*, TPlayState state) { FFPlayerState(state); });
}

void TClipTimeDlg::detachPlayer() {
    if (!FFPlayer) return;
    FFPlayer->SetOnFileOpen(nullptr);
    FFPlayer->SetOnPosition(nullptr);
    FFPlayer->SetOnState(nullptr);
    FFPlayer->Stop(true);
}

bool TClipTimeDlg::openFile() {
    return FFPlayer->Open(fileInfo->FileName.toStdString(), VideoSink, false);
}

bool TClipTimeDlg::SetData(ListFileInfo* entry) {
    fileInfo = entry;
    setWindowTitle(GetLangText(QStringLiteral("DlgClipTitle")) + QStringLiteral(":") +
                   QFileInfo(entry->FileName).fileName());
    try {
        FFPlayer->Stop(true);
        FFPlayer->SetScreenWidth(PanelVideo->width());
        FFPlayer->SetScreenHeight(PanelVideo->height());
        FFPlayer->SetAudioVolume(128);
        connectPlayer();
        if (!openFile()) {
            ShowInfo(QString::fromStdString(FFPlayer->LastErrMsg()));
            setResult(mrCancel);
            return false;
        }
    } catch (const std::exception& e) {
        ShowInfo(QString::fromUtf8(e.what()));
        setResult(mrCancel);
        return false;
    }
    VideoSeek->SetLast(0);
    BtnPlay->setEnabled(true);
    BtnStart->setEnabled(true);
    BtnEnd->setEnabled(true);
    range.startTime = entry->StartTime;
    range.endTime = entry->EndTime;
    range.totalTime = FFPlayer->AVProbe().FileStreamInfo().Duration;
    showPlaying(true);
    isStart = true;
    RedarwTimeLine(false);
    return true;
}

void TClipTimeDlg::showPlaying(bool playing) {
    btnPause->setVisible(playing);
    BtnPlay->setVisible(!playing);
}

void TClipTimeDlg::FFPlayerFileOpen(int64_t duration) {
    VideoSeek->SetLast(-1);
    const int max = VideoTracer->width();
    {
        const QSignalBlocker block(VideoTracer);
        VideoTracer->setRange(0, max);
        VideoTracer->setPageStep(20);
        VideoTracer->setValue(0);
    }
    VideoTracer->setTickInterval(TClipRange::TickFrequency(duration, max));
    ClipBar->SetMax(max);
    range.Max = max;
}

void TClipTimeDlg::RedarwTimeLine(bool forceDraw) {
    txtStartTime->setText(FormatTime(range.startTime));
    txtEndTime->setText(FormatTime(range.endTime));
    lbLength->setText(FormatTime(range.Length()));
    if (!forceDraw && range.IsWhole()) return;
    ClipBar->SetSelection(range.SelStart(), range.SelEnd());
}

void TClipTimeDlg::BtnStartClick() {
    Saveed = false;
    range.SetStartAt(VideoTracer->value());
    RedarwTimeLine(false);
}

void TClipTimeDlg::BtnEndClick() {
    Saveed = false;
    range.SetEndAt(VideoTracer->value());
    RedarwTimeLine(false);
}

void TClipTimeDlg::acceptTyped(QLineEdit* field, bool start) {
    const qint64 before = start ? range.startTime : range.endTime;
    TClipRange::Check check;
    try {
        // Every digit of the mask is required: a field with gaps is not a time.
        if (!field->hasAcceptableInput())
            throw EConvertError(QStringLiteral("'%1' is not a valid time").arg(field->displayText()));
        const qint64 t = ParseTime(field->text());
        check = start ? range.TypeStart(t) : range.TypeEnd(t);
    } catch (const EConvertError& e) {
        ShowInfo(QString::fromUtf8(e.what()));
        field->setText(FormatTime(before));
        return;
    }
    if (check != TClipRange::crOk) {
        ShowInfo(GetLangText(TClipRange::MessageKey(check)));
        field->setText(FormatTime(before));
        return;
    }
    Saveed = false;
    RedarwTimeLine(false);
}

void TClipTimeDlg::btnStartOkClick() {
    acceptTyped(txtStartTime, true);
}

void TClipTimeDlg::BtnEndOkClick() {
    acceptTyped(txtEndTime, false);
}

void TClipTimeDlg::BtnResetClick() {
    range.Reset();
    RedarwTimeLine(true);
}

void TClipTimeDlg::BtnPlayClick() {
    const TPlayState state = FFPlayer->State();
    if (state == TPlayState::psStop || state == TPlayState::psEnd) {
        if (openFile()) {
            showPlaying(true);
            isStart = true;
        } else {
            ShowInfo(QString::fromStdString(FFPlayer->LastErrMsg()));
        }
        return;
    }
    isStart = !isStart;
    if (!isStart) {
        FFPlayer->Pause();
        showPlaying(false);
    } else {
        FFPlayer->Resume();
        showPlaying(true);
    }
}

void TClipTimeDlg::BtnNextFrameClick() {
    FFPlayer->StepToNextFrame();
    showPlaying(false);
    isStart = false;
}

void TClipTimeDlg::VideoTracerChange(int position) {
    // Only the user moves the slider with signals on; the position events move it silently.
    VideoSeek->UserMoved(range.TimeOfPosition(position),
                         [this](qint64 t) { FFPlayer->Seek(TSeekFlags(), static_cast<int64_t>(t)); });
}

void TClipTimeDlg::FFPlayerPosition(int64_t pts) {
    if (pts < 0 || VideoSeek->Quiet()) return;
    {
        const QSignalBlocker block(VideoTracer);
        VideoTracer->setValue(range.PositionOfTime(pts));
    }
    lbTimeInfo->setText(FormatTimeMs(pts) + QStringLiteral("/") + FormatTimeMs(range.totalTime));
}

void TClipTimeDlg::FFPlayerState(TPlayState state) {
    if (state == TPlayState::psStop) {
        PanelVideo->update();
    } else if (state == TPlayState::psEnd) {
        // Played to the end: start again from the beginning, after this event has been handled
        // (the player can't be stopped from inside its own event).
        QMetaObject::invokeMethod(
            this,
            [this] {
                FFPlayer->Stop(true);
                {
                    const QSignalBlocker block(VideoTracer);
                    VideoTracer->setValue(0);
                }
                VideoSink->ClearFrame();
                if (openFile()) {
                    showPlaying(true);
                    isStart = true;
                }
            },
            Qt::QueuedConnection);
    }
}

void TClipTimeDlg::copyRangeToEntry() {
    if (!fileInfo) return;
    fileInfo->StartTime = range.startTime;
    fileInfo->EndTime = range.endTime;
}

void TClipTimeDlg::BtnOkClick() {
    copyRangeToEntry();
    Saveed = true;
    done(mrOk);
}

void TClipTimeDlg::BtnCancelClick() {
    Saveed = true;
    if (range.IsWhole()) {
        done(mrCancel);
        return;
    }
    if (Ask(GetLangText(QStringLiteral("ClipAsk_Title"))) == mrYes) {
        copyRangeToEntry();
        done(mrOk);
    } else {
        done(mrCancel);
    }
}

void TClipTimeDlg::reject() {
    // The window's close button or Escape: a changed range that was not accepted is kept only
    // when the user says so.
    if (!range.IsWhole() && !Saveed) {
        Saveed = true;
        if (Ask(GetLangText(QStringLiteral("ClipAsk_Title"))) == mrYes) {
            copyRangeToEntry();
            done(mrOk);
            return;
        }
    }
    done(mrCancel);
}

void TClipTimeDlg::done(int result) {
    detachPlayer();
    QDialog::done(result);
}
