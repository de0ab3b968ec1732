#include "settings/SettingDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QSpinBox>
#include <algorithm>
#include <QVBoxLayout>

#include "app/DialogLook.h"
#include "app/Utils.h"
#include "profiles/IconUtils.h"
#include "profiles/MenuInfo.h"
#include "profiles/ParaInfo.h"
#include "profiles/ProfileMenu.h"
#include "profiles/QualityScale.h"
#include "settings/SettingRules.h"

namespace {
const QString kAuto = QStringLiteral("Auto");

// The text shown for an entry of an allowed-value list, in the interface's language. The entry
// itself (the profile's own text, English) stays with it as its item data: that is what is
// matched and read back, so the stored parameters never depend on the language.
QString shownText(const QString& value) {
    using DialogLook::TextOr;
    static const QRegularExpression disc(QStringLiteral("^Disc standard \\(PAL (\\S+) or NTSC (\\S+)\\)$"));
    static const QRegularExpression channels(QStringLiteral("^(\\d+) \\((.+)\\)$"));
    if (value == kAuto) return TextOr(QStringLiteral("SetAuto"), value);
    if (value.startsWith(QLatin1String("Auto - "))) {
        const QString rest = value.mid(7);
        QString shownRest = rest;
        if (rest == QLatin1String("Original")) {
            shownRest = TextOr(QStringLiteral("SetAutoOriginal"), rest);
        } else if (const auto m = disc.match(rest); m.hasMatch()) {
            shownRest = FormatText(TextOr(QStringLiteral("SetAutoDisc"), QStringLiteral("Disc standard (PAL %s or NTSC %s)")),
                                   {m.captured(1), m.captured(2)});
        }
        return TextOr(QStringLiteral("SetAuto"), kAuto) + QStringLiteral(" - ") + shownRest;
    }
    if (const auto m = channels.match(value); m.hasMatch()) {
        static const std::pair<const char*, const char*> layouts[] = {
            {"Mono", "SetChannelMono"}, {"Stereo", "SetChannelStereo"}, {"5.1 Surround", "SetChannelSurround"}};
        for (const auto& [name, key] : layouts)
            if (m.captured(2) == QLatin1String(name))
                return m.captured(1) + QStringLiteral(" (") + TextOr(QLatin1String(key), m.captured(2)) + ')';
    }
    return value;
}

void addEntry(QComboBox* list, const QString& value) {
    list->addItem(shownText(value), value);
}

// Empties the list and refills it with the allowed values, in order.
void fillList(QComboBox* list, const QString& values, bool pictureSizes = false) {
    list->clear();
    for (const QString& v : SplitString(values, QStringLiteral(",")))
        addEntry(list, pictureSizes ? ResolutionEntryText(v) : v);
}

// The entries' own texts (item data), not what is shown.
QStringList entries(const QComboBox* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->itemData(i).toString();
    return out;
}

QString chosen(const QComboBox* list) {
    return list->currentData().toString();
}

// Selects the entry `text` (any letter case); a value the list lacks is added at its end.
void selectText(QComboBox* list, const QString& text) {
    int index = FindChoice(entries(list), text);
    if (index < 0) {
        addEntry(list, text);
        index = list->count() - 1;
    }
    list->setCurrentIndex(index);
}

void selectFirst(QComboBox* list) {
    list->setCurrentIndex(list->count() > 0 ? 0 : -1);
}

QComboBox* fixedList(const char* name) {
    auto* list = new QComboBox;
    list->setObjectName(QLatin1String(name));
    list->setEditable(false);
    list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    list->setMinimumContentsLength(10);
    return list;
}

void addRow(QGridLayout* grid, int row, int column, const QString& key, const QString& fallback,
            QComboBox* list) {
    auto* label = new QLabel(DialogLook::TextOr(key, fallback));
    label->setBuddy(list);
    grid->addWidget(label, row, column * 2);
    grid->addWidget(list, row, column * 2 + 1);
}
}  // namespace

TDlgSetting::TDlgSetting(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("DlgSetting"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    DialogLook::Apply(this, 499, 476);

    auto* profilePanel = new QFrame;
    profilePanel->setObjectName(QStringLiteral("PanelProfile"));
    profilePanel->setFrameShape(QFrame::StyledPanel);
    profilePanel->setAutoFillBackground(true);
    QPalette white = profilePanel->palette();
    white.setColor(QPalette::Window, Qt::white);
    profilePanel->setPalette(white);
    ImageProfile = new QLabel;
    ImageProfile->setFixedSize(32, 32);
    ImageProfile->setScaledContents(true);
    lbProfileName = new QLabel;
    lbProfileName->setObjectName(QStringLiteral("lbProfileName"));
    QFont bold = lbProfileName->font();
    bold.setBold(true);
    lbProfileName->setFont(bold);
    auto* profileRow = new QHBoxLayout(profilePanel);
    profileRow->addWidget(ImageProfile);
    profileRow->addWidget(lbProfileName, 1);

    cmbResolution = fixedList("cmbResolution");
    for (const char* size : {"Auto - Original", "320x240", "640x480"})
        addEntry(cmbResolution, QLatin1String(size));
    cmbFrameRate = fixedList("cmbFrameRate");
    cmbEncoder = fixedList("cmbEncoder");
    cmbBitRate = fixedList("cmbBitRate");
    cmbSampleRate = fixedList("cmbSampleRate");
    cmbChannel = fixedList("cmbChannel");
    cmbAudioEncoder = fixedList("cmbAudioEncoder");
    cmbAudioBitRate = fixedList("cmbAudioBitRate");
    cmbRateMode = fixedList("cmbRateMode");
    cmbRateMode->addItems({DialogLook::TextOr(QStringLiteral("SetRateBitrate"), QStringLiteral("Bit rate")),
                           DialogLook::TextOr(QStringLiteral("SetRateQuality"), QStringLiteral("Constant quality")),
                           DialogLook::TextOr(QStringLiteral("SetRateFit"), QStringLiteral("Fit into"))});
    cmbQuality = fixedList("cmbQuality");
    spnFitSize = new QSpinBox;
    spnFitSize->setObjectName(QStringLiteral("spnFitSize"));
    spnFitSize->setRange(1, 1024 * 1024);
    spnFitSize->setValue(25);
    spnFitSize->setSuffix(QStringLiteral(" MB"));

    gbVideo = new QGroupBox(DialogLook::TextOr(QStringLiteral("SetVideoGroup"), QStringLiteral("Video")));
    auto* video = new QGridLayout(gbVideo);
    addRow(video, 0, 0, QStringLiteral("SetResolution"), QStringLiteral("Resolution:"), cmbResolution);
    addRow(video, 0, 1, QStringLiteral("SetFrameRate"), QStringLiteral("Frame rate:"), cmbFrameRate);
    addRow(video, 1, 0, QStringLiteral("SetVideoEncoder"), QStringLiteral("Encoder:"), cmbEncoder);
    addRow(video, 1, 1, QStringLiteral("SetVideoBitRate"), QStringLiteral("Bit rate:"), cmbBitRate);
    addRow(video, 2, 0, QStringLiteral("SetRateMode"), QStringLiteral("Size by:"), cmbRateMode);
    addRow(video, 2, 1, QStringLiteral("SetQuality"), QStringLiteral("Quality:"), cmbQuality);
    auto* fitLabel = new QLabel(DialogLook::TextOr(QStringLiteral("SetFitSize"), QStringLiteral("Fit into:")));
    fitLabel->setBuddy(spnFitSize);
    video->addWidget(fitLabel, 3, 2);
    video->addWidget(spnFitSize, 3, 3);
    gbAudio = new QGroupBox(DialogLook::TextOr(QStringLiteral("SetAudioGroup"), QStringLiteral("Audio")));
    auto* audio = new QGridLayout(gbAudio);
    addRow(audio, 0, 0, QStringLiteral("SetSampleRate"), QStringLiteral("Sample rate:"), cmbSampleRate);
    addRow(audio, 0, 1, QStringLiteral("SetChannel"), QStringLiteral("Channels:"), cmbChannel);
    addRow(audio, 1, 0, QStringLiteral("SetAudioEncoder"), QStringLiteral("Encoder:"), cmbAudioEncoder);
    addRow(audio, 1, 1, QStringLiteral("SetAudioBitRate"), QStringLiteral("Bit rate:"), cmbAudioBitRate);
    for (QGridLayout* grid : {video, audio}) {
        grid->setColumnStretch(1, 1);
        grid->setColumnStretch(3, 1);
        grid->setHorizontalSpacing(8);
        grid->setVerticalSpacing(12);
    }

    CkbMerge =
        new QCheckBox(DialogLook::TextOr(QStringLiteral("SetMerge"), QStringLiteral("Merge into one file")));
    CkbMerge->setObjectName(QStringLiteral("CkbMerge"));
    btnDefault =
        new QPushButton(DialogLook::TextOr(QStringLiteral("btnSetDefault"), QStringLiteral("Default")));
    btnDefault->setObjectName(QStringLiteral("btnDefault"));
    btnOk = new QPushButton(DialogLook::TextOr(QStringLiteral("btnTreeOk"), QStringLiteral("OK")));
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnOk->setDefault(true);
    btnCancel =
        new QPushButton(DialogLook::TextOr(QStringLiteral("btnTreeCancel"), QStringLiteral("Cancel")));
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    for (QPushButton* b : {btnDefault, btnOk, btnCancel})
        b->setMinimumWidth(80);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnDefault);
    buttons->addStretch(1);
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);

    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(14, 14, 14, 14);
    page->setSpacing(12);
    page->addWidget(profilePanel);
    page->addWidget(gbVideo);
    page->addWidget(gbAudio);
    page->addWidget(CkbMerge);
    page->addStretch(1);
    page->addLayout(buttons);

    connect(btnOk, &QPushButton::clicked, this, &TDlgSetting::btnOkClick);
    connect(cmbRateMode, &QComboBox::currentIndexChanged, this, &TDlgSetting::rateModeChanged);
    // A number means something only on its own encoder's scale: another encoder keeps the named
    // point ("High" stays "High"), and a number chosen by hand becomes the new scale's default.
    connect(cmbEncoder, &QComboBox::currentIndexChanged, this, [this] {
        const int point = cmbQuality->currentIndex();
        fillQuality(-1, point >= 0 && point < 5 ? point : 2);
    });
    connect(btnDefault, &QPushButton::clicked, this, &TDlgSetting::btnDefaultClick);
    connect(btnCancel, &QPushButton::clicked, this, &TDlgSetting::btnCancelClick);
    DialogLook::CentreOverMainWindow(this);
}

TDlgSetting::~TDlgSetting() = default;

void TDlgSetting::SetFormatInfo(std::unique_ptr<TFormatInfo> info) {
    if (!info) return;
    SettingObj = std::move(info);
    fillFrom(*SettingObj);
}

void TDlgSetting::SetMergerValue(bool value) {
    CkbMerge->setChecked(value);
}

bool TDlgSetting::Merger() const {
    return CkbMerge->isChecked();
}

void TDlgSetting::fillFrom(const TFormatInfo& info) {
    const TCategory* category = FindCategory(info.Categoryid);
    QImage icon = category ? GetIcon(category->Icon) : QImage();
    if (icon.isNull()) icon = GetIcon(info.Icon);
    ImageProfile->setPixmap(icon.isNull() ? QPixmap() : QPixmap::fromImage(icon));
    // The catalogue's name is in the interface's language; the parameter table's is English.
    const TMenuInfo* entry = FindMenuInfo(info.ID);
    lbProfileName->setText(entry && !entry->Name.isEmpty() ? entry->Name : info.Name);

    fillList(cmbResolution, info.Resolution, true);
    fillList(cmbFrameRate, info.FrameRate);
    fillList(cmbBitRate, info.VideoBitrate);
    fillList(cmbEncoder, info.VideoEnclist);
    fillList(cmbSampleRate, info.SampleRate);
    fillList(cmbChannel, info.Channel);
    fillList(cmbAudioEncoder, info.AudioEncList);
    fillList(cmbAudioBitRate, info.AudioBitrate);

    const TEncParam& p = info.EncParam;
    if (p.Width <= 0 || p.Height <= 0)
        selectFirst(cmbResolution);
    else
        selectText(cmbResolution, ResolutionText(p.Width, p.Height));
    if (p.FrameRate <= 0)
        selectFirst(cmbFrameRate);
    else
        selectText(cmbFrameRate, FrameRateText(p.FrameRate));
    if (p.VideoBitrate < 1000)
        selectFirst(cmbBitRate);
    else
        selectText(cmbBitRate, BitrateText(p.VideoBitrate));
    if (p.SampleRate <= 0)
        selectFirst(cmbSampleRate);
    else
        selectText(cmbSampleRate, SampleRateText(p.SampleRate));
    if (p.AudioBitrate < 1000)
        selectFirst(cmbAudioBitRate);
    else
        selectText(cmbAudioBitRate, BitrateText(p.AudioBitrate));
    if (cmbChannel->count() > 0)
        cmbChannel->setCurrentIndex(FindChannelChoice(entries(cmbChannel), p.Channels));
    if (p.VideoEncoder.isEmpty() || p.VideoEncoder == kAuto)
        selectFirst(cmbEncoder);
    else
        selectText(cmbEncoder, p.VideoEncoder);
    if (p.AudioEncoder.isEmpty() || p.AudioEncoder == kAuto)
        selectFirst(cmbAudioEncoder);
    else
        selectText(cmbAudioEncoder, p.AudioEncoder);

    for (QComboBox* list : {cmbResolution, cmbFrameRate, cmbEncoder, cmbBitRate, cmbSampleRate, cmbChannel,
                            cmbAudioEncoder, cmbAudioBitRate})
        list->setEnabled(list->count() > 0);

    {
        const QSignalBlocker block(cmbRateMode);
        cmbRateMode->setCurrentIndex(p.FitSize > 0 ? kRateFit : p.Quality >= 0 ? kRateQuality : kRateBitrate);
    }
    if (p.FitSize > 0) spnFitSize->setValue(static_cast<int>(std::max<int64_t>(1, (p.FitSize + 1048575) / 1048576)));
    fillQuality(p.Quality);
}

void TDlgSetting::fillQuality(int quality, int point) {
    cmbQuality->clear();
    TFormatInfo encoder;
    encoder.Format = SettingObj ? SettingObj->Format : QString();
    encoder.EncParam.VideoEncoder = ReadEncoderEntry(chosen(cmbEncoder));
    if (encoder.EncParam.VideoEncoder.isEmpty() && SettingObj) encoder.VideoEnclist = SettingObj->VideoEnclist;
    const TQualityScale* scale = QualityScaleFor(EffectiveVideoEncoder(encoder));
    if (scale) {
        static const char* const names[] = {"SetQualitySmallest", "SetQualitySmall", "SetQualityBalanced",
                                            "SetQualityHigh", "SetQualityBest"};
        for (int i = 0; i < 5; ++i)
            cmbQuality->addItem(QStringLiteral("%1 (%2)")
                                    .arg(DialogLook::TextOr(QLatin1String(names[i]), QualityNames()[i]))
                                    .arg(scale->Points[i]),
                                scale->Points[i]);
        // The named point asked for, else the encoder's default ("Balanced") unless a number of
        // this scale was chosen.
        int index = point >= 0 && point < 5 ? point : 2;
        if (point < 0 && quality >= scale->Best && quality <= scale->Smallest) {
            index = -1;
            for (int i = 0; i < 5; ++i)
                if (scale->Points[i] == quality) index = i;
            if (index < 0) {
                cmbQuality->addItem(QString::number(quality), quality);
                index = cmbQuality->count() - 1;
            }
        }
        cmbQuality->setCurrentIndex(index);
    }
    rateModeChanged();
}

void TDlgSetting::rateModeChanged() {
    const int mode = cmbRateMode->currentIndex();
    cmbBitRate->setEnabled(mode == kRateBitrate && cmbBitRate->count() > 0);
    cmbQuality->setEnabled(mode == kRateQuality && cmbQuality->count() > 0);
    spnFitSize->setEnabled(mode == kRateFit);
}

void TDlgSetting::btnOkClick() {
    if (SettingObj) {
        TEncParam& p = SettingObj->EncParam;
        // An entry whose number can't be read leaves its value as it was.
        if (const auto size = ReadResolutionEntry(chosen(cmbResolution))) {
            p.Width = size->Width;
            p.Height = size->Height;
        }
        if (const auto v = ReadFrameRateEntry(chosen(cmbFrameRate))) p.FrameRate = *v;
        if (const auto v = ReadBitrateEntry(chosen(cmbBitRate))) p.VideoBitrate = *v;
        if (const auto v = ReadSampleRateEntry(chosen(cmbSampleRate))) p.SampleRate = *v;
        if (const auto v = ReadBitrateEntry(chosen(cmbAudioBitRate))) p.AudioBitrate = *v;
        const TChannelValue channels = ReadChannelEntry(chosen(cmbChannel));
        if (!channels.Keep) p.Channels = channels.Channels;
        p.VideoEncoder = ReadEncoderEntry(chosen(cmbEncoder));
        p.AudioEncoder = ReadEncoderEntry(chosen(cmbAudioEncoder));
        // Constant quality needs an encoder with a quality scale; without one the bit rate stays.
        const bool quality = cmbRateMode->currentIndex() == kRateQuality && cmbQuality->currentIndex() >= 0;
        p.Quality = quality ? cmbQuality->currentData().toInt() : -1;
        p.FitSize = cmbRateMode->currentIndex() == kRateFit ? int64_t(spnFitSize->value()) * 1048576 : 0;
    }
    done(mrOk);
}

void TDlgSetting::btnDefaultClick() {
    if (!SettingObj) return;
    if (const std::unique_ptr<TFormatInfo> stored = GetFormatInfo(SettingObj->ID)) fillFrom(*stored);
}

void TDlgSetting::btnCancelClick() {
    done(mrCancel);
}

void TDlgSetting::reject() {
    done(mrCancel);
}
