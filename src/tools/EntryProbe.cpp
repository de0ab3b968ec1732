#include "tools/EntryProbe.h"

#include <algorithm>

#include "app/CommEntity.h"
#include "engine/probe/AVProbe.h"
#include "settings/Lang.h"
#include "settings/ReasonText.h"

bool ProbeEntry(TAVProbe& probe, ListFileInfo& e, ProbeOutcome* outcome) {
    const bool opened = probe.LoadFile(e.FileName.toUtf8().toStdString());
    const TFileStreamInfo info = opened ? probe.FileStreamInfo() : TFileStreamInfo{};
    e.BitRate = opened ? info.BitRate : 0;
    e.FileInfo = opened ? QString::fromStdString(probe.FileInfoText()) : QString();
    e.FileDurTime = opened ? info.Duration : -1;
    e.FileSize = opened ? probe.FileSize() : 0;
    e.FileFormat = opened ? QString::fromStdString(probe.FormatName()) : QString();
    if (opened && probe.VideoStreamCount() > 0) {
        const TVideoStreamInfo v = probe.FirstVideoStreamInfo();
        e.VWidth = v.Width;
        e.VHeight = v.Height;
    }
    e.HasVideo = opened && probe.VideoStreamCount() > 0;
    // The sound's facts: a size limit counts the sound's bits too.
    e.SampleRate = e.Channel = e.AudioBitRate = 0;
    if (opened && probe.AudioStreamCount() > 0) {
        const TAudioStreamInfo a = probe.FirstAudioStreamInfo();
        e.SampleRate = std::max(0, a.SampleRate);
        e.Channel = std::max(0, a.Channels);
        e.AudioBitRate = std::max(0, a.BitRate);
    }
    e.StartTime = 0;
    e.EndTime = e.FileDurTime;
    // A file without a duration in its header (a plain MPEG stream, a file cut short) still
    // converts when it has pictures or sound; its length is known only once it has been read.
    e.HasData = opened && (e.FileDurTime > 0 || probe.VideoStreamCount() > 0 || probe.AudioStreamCount() > 0);
    if (outcome) {
        if (!opened) {
            // The engine's message is "<file>: <reason>"; the list shows the file already.
            QString reason = QString::fromStdString(probe.LastErrMsg());
            const QString prefix = e.FileName + QStringLiteral(": ");
            if (reason.startsWith(prefix)) reason.remove(0, prefix.size());
            outcome->reason = ReasonText(reason);
        } else if (!e.HasData) {
            outcome->reason = GetLangText(QStringLiteral("ProbeNoDuration"));
        }
    }
    probe.CloseFile();
    return e.HasData;
}

QString OutputNameOf(const QString& fileName) {
    const qsizetype dot = fileName.lastIndexOf('.');
    if (dot < 0) return fileName;
    QString name = fileName;
    name.remove(fileName.mid(dot), Qt::CaseInsensitive);
    return name;
}
