#pragma once
// The conversion settings dialog ("Format Setting"): picture size, frame rate, video encoder and
// bit rate, audio sample rate, channels, encoder and bit rate of one profile's parameters, and
// whether the run merges all files into one. It edits its own copy (SettingObj); the caller
// decides what to do with it after OK. Nothing is written to disk. User-interface thread only.

#include <QDialog>
#include <memory>

#include "profiles/FormatInfo.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QSpinBox;

class TDlgSetting : public QDialog {
    Q_OBJECT
public:
    explicit TDlgSetting(QWidget* parent = nullptr);
    ~TDlgSetting() override;

    // Takes the parameters to edit; fills the lists from their allowed values and selects their
    // current values. Nothing happens for an empty pointer.
    void SetFormatInfo(std::unique_ptr<TFormatInfo> info);
    void SetMergerValue(bool value);
    bool Merger() const;

    // Writes the choices into SettingObj->EncParam and closes with OK (1).
    void btnOkClick();
    // Refills the lists from the parameter table's own record of the same profile (nothing when
    // the table has none), without closing.
    void btnDefaultClick();
    void btnCancelClick();
    // The title bar's close button and Escape cancel, as the Cancel button does.
    void reject() override;

    std::unique_ptr<TFormatInfo> SettingObj;

    QLabel* ImageProfile;
    QLabel* lbProfileName;
    QGroupBox* gbVideo;
    QGroupBox* gbAudio;
    QComboBox* cmbResolution;
    QComboBox* cmbFrameRate;
    QComboBox* cmbEncoder;
    QComboBox* cmbBitRate;
    QComboBox* cmbSampleRate;
    QComboBox* cmbChannel;
    QComboBox* cmbAudioEncoder;
    QComboBox* cmbAudioBitRate;
    // How the video's size is decided: kRateBitrate, kRateQuality or kRateFit.
    QComboBox* cmbRateMode;
    QComboBox* cmbQuality;  // "Smallest (32)" ... "Best (17)" on the chosen encoder's scale
    QSpinBox* spnFitSize;   // MB (1,048,576 bytes)
    enum { kRateBitrate = 0, kRateQuality = 1, kRateFit = 2 };
    QCheckBox* CkbMerge;
    QPushButton* btnDefault;
    QPushButton* btnOk;
    QPushButton* btnCancel;

private:
    void fillFrom(const TFormatInfo& info);
    // The quality list of the chosen encoder: `point` (0 Smallest .. 4 Best) selects a named point;
    // else `quality` is selected when it is on the scale, "Balanced" when not.
    void fillQuality(int quality, int point = -1);
    // Enables the bit rate, the quality or the size as the rate mode says.
    void rateModeChanged();
};
