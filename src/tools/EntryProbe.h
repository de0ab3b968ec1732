#pragma once
// Reads what the file list needs to know about a media file into its entry: bit rate,
// information text, duration, size, format and the first video stream's picture size, with the
// clip range set to the whole file. Used by the probe dialog's worker and the command-line
// converter; runs on whatever thread owns the probe.

#include <QString>

class ListFileInfo;
class TAVProbe;

// Why a probed file can't be used (whether it has pictures is in the entry).
struct ProbeOutcome {
    QString reason;  // empty when the entry has data
};

// True when the file opened and has a positive duration (the entry then has data).
bool ProbeEntry(TAVProbe& probe, ListFileInfo& entry, ProbeOutcome* outcome = nullptr);

// The output base name of a file name: the name with every occurrence of its extension removed
// ("clip.AVI" gives "clip", "a.mp4.mp4" gives "a").
QString OutputNameOf(const QString& fileName);
