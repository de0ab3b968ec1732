#pragma once
// Snapshots of the preview picture: the frame is saved as "<source file name>_<n>.jpg" (JPEG,
// quality 90, baseline, colour) or "<source file name>_<n>.bmp" (24-bit BMP) in the snapshot
// folder. n comes from a counter the caller keeps for the whole process; a number whose file
// exists already is skipped, so a snapshot never replaces a file. Stateless; any thread.

#include <QByteArray>
#include <QString>

class TBitmap24;

class TSnapshotWriter {
public:
    enum Format { sfJpeg = 0, sfBmp = 1 };

    // True when the folder exists afterwards (missing parents are created) and accepts new files.
    static bool PrepareFolder(const QString& folder);

    // Saves `frame` under the next free number: `counter` is advanced once for this snapshot and
    // once more for every number already taken by a file. Returns the path written, or an empty
    // string with the reason in `error` (the counter stays advanced).
    static QString Save(const TBitmap24& frame, const QString& folder, const QString& sourceFile, int format,
                        int& counter, QString* error = nullptr);

    // The frame at the size it is displayed with: the same height, the width from the display
    // aspect ratio (width / height; 0 or less, or a matching ratio, keeps the frame as it is).
    static TBitmap24 ToDisplaySize(const TBitmap24& frame, double aspectRatio);

    // The encoded file contents; empty for an empty frame (or, for JPEG, an encoder failure).
    static QByteArray EncodeJpeg(const TBitmap24& frame);
    static QByteArray EncodeBmp(const TBitmap24& frame);
};
