#pragma once
// The program's own artwork, drawn at run time: image-button icons, the main window's background,
// the tray icon's frames (0 to 2: busy animation, 3: idle, 4: finished) and the conversion
// list's status icons (0 to 3: busy frames, 4: finished, 5: failed).

#include <QIcon>
#include <QPixmap>
#include <QString>

namespace ButtonArt {
enum class Glyph { Add, Clip, Online, Play, Pause, Stop, Snapshot, Folder, Speaker, SpeakerMuted, Start };

QIcon Icon(Glyph glyph, int size = 24);
QPixmap BigAdd(int size);
QPixmap Background(int width, int height);
QIcon TrayFrame(int index);
QIcon StatusIcon(int index);
}  // namespace ButtonArt
