#pragma once
// The program's own artwork, drawn at run time: image-button icons, the main window's background,
// the tray icon's frames (0 to 2: busy animation, 3: idle, 4: finished) and the conversion
// list's status icons (0 to 3: busy frames, 4: finished, 5: failed).

#include <QIcon>
#include <QPixmap>
#include <QRect>
#include <QString>

namespace ButtonArt {
enum class Glyph { Add, Clip, Online, Play, Pause, Stop, Snapshot, Folder, Speaker, SpeakerMuted, Start };

QIcon Icon(Glyph glyph, int size = 24);
QPixmap BigAdd(int size);
// The window's background with the panels behind the list and the preview (their places at the
// smallest window size unless given).
QPixmap Background(int width, int height, QRect listPanel = QRect(6, 100, 546, 350),
                   QRect previewPanel = QRect(560, 100, 312, 350));
QIcon TrayFrame(int index);
QIcon StatusIcon(int index);
}  // namespace ButtonArt
