#pragma once

class QWidget;

// Draws the background, border and corners the style sheet gives the widget, which a QWidget
// subclass does not draw by itself.
void paint_styled_background(QWidget* widget);
