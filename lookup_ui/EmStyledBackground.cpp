#include "EmStyledBackground.h"

#include <QPainter>
#include <QStyleOption>
#include <QWidget>

void paint_styled_background(QWidget* widget)
{
    QStyleOption option;
    option.initFrom(widget);
    QPainter painter(widget);
    widget->style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, widget);
}
