#pragma once

#include "EmWindowChrome.h"

#include <QString>
#include <QWidget>

class QLabel;

// Base of a top-level window without a system frame: it paints its own dark rounded background,
// moves when dragged with the left button and resizes from thin bands along its edges.
class EmFramelessWidget : public QWidget
{
    Q_OBJECT
public:
    explicit EmFramelessWidget(QWidget* parent = nullptr);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool nativeEvent(const QByteArray& eventType, void* message, long* result) override;

private:
    // Hands a press inside a resize band to the window system; false leaves the press a drag.
    bool start_band_resize(const QPoint& pos);

    EmWindowChrome chrome{3};
};

// Shows the text in the label, cut with a trailing ellipsis to the label's width, with the whole
// text as tooltip; returns what the label shows. The text is shown as plain text.
QString set_elided_text(const QString& text, QLabel* label);
// Cuts the label's whole text again, for a label whose width has changed.
QString refresh_elided_text(QLabel* label);
