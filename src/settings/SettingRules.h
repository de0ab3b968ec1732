#pragma once
// How the conversion settings dialog shows the values of a profile (TEncParam) as entries of its
// choice lists, and how it reads a chosen entry back into a value. Pure functions on texts, used by
// the settings dialog and by the checks of the shipped parameter file. Any thread may call them.
//
// Entry texts: a picture size "640x480" (the parameter file writes "640*480"), a frame rate
// "25 fps" or "29.97 fps", a bit rate "128 kbps", a sample rate "44100 Hz", a channel entry that
// begins with the channel count ("2 (Stereo)"), an encoder name. "Auto" (exactly so) means: not
// set. A picture-size entry is read up to its first blank, so "Auto - Original" means 0x0 too.

#include <QString>
#include <QStringList>
#include <optional>

// ---- Showing a value: the entry text the dialog looks for -------------------------------------

// "320*240" as shown in the size list: every "*" becomes "x".
QString ResolutionEntryText(const QString& listItem);
// Width + "x" + Height.
QString ResolutionText(int width, int height);
// Thousandths of a frame per second as "25 fps", "29.97 fps", "12.50 fps" (two decimals, ".00"
// dropped).
QString FrameRateText(int frameRate);
// Bits per second as whole kilobits: 128000 -> "128 kbps" (the rest of the division is dropped).
QString BitrateText(int bitrate);
// Hertz: "44100 Hz".
QString SampleRateText(int sampleRate);

// Index of the first entry equal to `text` regardless of letter case; -1 when none.
int FindChoice(const QStringList& entries, const QString& text);
// Index of the channel entry for `channels`: 0 when channels <= 0 or when no entry begins with
// that digit, else the first entry whose first character is that digit.
int FindChannelChoice(const QStringList& entries, int channels);

// ---- Reading an entry back ---------------------------------------------------------------------
// Each returns std::nullopt when the entry's number part is not a number (a faulty entry); the
// dialog then keeps the old value.

struct TResolutionValue {
    int Width = 0;
    int Height = 0;
};
// Text before the first blank (unless the blank is the first character), split at "x": exactly
// two numbers give the size, any other number of pieces gives 0x0 (keep the source size).
std::optional<TResolutionValue> ReadResolutionEntry(const QString& text);
// Empty or "Auto": 0. Otherwise "fps" (any case) removed, a decimal number x 1000, rounded.
std::optional<int> ReadFrameRateEntry(const QString& text);
// Empty or "Auto": -1. Otherwise "kbps" (any case) removed, a whole number x 1000.
std::optional<int> ReadBitrateEntry(const QString& text);
// Empty or "Auto": -1. Otherwise "Hz" (any case) removed, a whole number.
std::optional<int> ReadSampleRateEntry(const QString& text);

// Result of reading a channel entry: a count, or "leave the current value as it is".
struct TChannelValue {
    bool Keep = false;  // the entry neither is "Auto" nor begins with a digit
    int Channels = -1;  // -1: Auto (keep the source's channels)
};
TChannelValue ReadChannelEntry(const QString& text);
// Empty or "Auto": empty (the output type's default encoder). Otherwise the text as shown.
QString ReadEncoderEntry(const QString& text);
