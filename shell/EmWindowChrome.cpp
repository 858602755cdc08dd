#include "EmWindowChrome.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWidget>

EmWindowChrome::EmWindowChrome(int corner_radius)
    : corner_radius(corner_radius)
{
}

void EmWindowChrome::paint(QWidget* window) const
{
    QPainter painter(window);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(42, 44, 66, 255));
    painter.setPen(QColor(Qt::transparent));
    // The translucent window leaves everything outside the rounded card see-through.
    painter.drawRoundedRect(window->rect().adjusted(0, 0, -1, -1), corner_radius, corner_radius,
                            Qt::AbsoluteSize);
}

void EmWindowChrome::press(const QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        anchor = event->globalPos();
    }
}

void EmWindowChrome::move(QWidget* window, const QMouseEvent* event)
{
    if (!(event->buttons() & Qt::LeftButton) || !anchor) {
        return;
    }
    window->move(window->pos() + (event->globalPos() - *anchor));
    anchor = event->globalPos();
}
