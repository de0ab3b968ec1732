#pragma once
// The dialogs' shared look: light grey background (Windows colour 14474460, RGB 220,220,220),
// fixed size, centred over the main window.

#include <QColor>
#include <QString>
#include <initializer_list>
#include <utility>

class QWidget;

namespace DialogLook {
constexpr QColor kBackground{220, 220, 220};
// Applies the background colour and fixes the client size.
void Apply(QWidget* dialog, int width, int height);
// The edges of the dialog a control keeps its distance to when the dialog is resized: a control
// held by both left and right (top and bottom) grows with the dialog, one held by the right
// (bottom) only moves with that edge.
enum Anchor { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };
// Lets a dialog laid out by Apply be resized, its designed size being the smallest; controls not
// named stay at the top left.
void Resizable(QWidget* dialog, std::initializer_list<std::pair<QWidget*, int>> anchors);
// Centres the dialog over its parent window, or over the active window, or on the screen.
void CentreOverMainWindow(QWidget* dialog);
// The language text of a key, or `fallback` when the table lacks it, so that a dialog still
// opens with a damaged language file.
QString TextOr(const QString& key, const QString& fallback);
}  // namespace DialogLook
