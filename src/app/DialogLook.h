#pragma once
// The dialogs' shared look: light grey background (Windows colour 14474460, RGB 220,220,220),
// fixed size, centred over the main window.

#include <QColor>
#include <QString>

class QWidget;

namespace DialogLook {
constexpr QColor kBackground{220, 220, 220};
// Applies the background colour and fixes the client size.
void Apply(QWidget* dialog, int width, int height);
// Centres the dialog over its parent window, or over the active window, or on the screen.
void CentreOverMainWindow(QWidget* dialog);
// The language text of a key, or `fallback` when the table lacks it, so that a dialog still
// opens with a damaged language file.
QString TextOr(const QString& key, const QString& fallback);
}  // namespace DialogLook
