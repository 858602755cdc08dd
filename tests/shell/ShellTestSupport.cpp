#include "ShellTestSupport.h"

#include "EmMessageBoxWidget.h"
#include "TestEventLoop.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPointer>

void press_at(QWidget* widget, QPoint global, Qt::MouseButton button)
{
    QMouseEvent event(QEvent::MouseButtonPress, widget->mapFromGlobal(global), global, button, button,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

void move_to(QWidget* widget, QPoint global, Qt::MouseButtons held)
{
    QMouseEvent event(QEvent::MouseMove, widget->mapFromGlobal(global), global, Qt::NoButton, held,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

QList<EmMessageBoxWidget*> message_boxes(bool only_visible)
{
    QList<EmMessageBoxWidget*> found;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<EmMessageBoxWidget*>(widget);
        if (box && (box->isVisible() || !only_visible)) {
            found.append(box);
        }
    }
    return found;
}

bool close_and_destroy(EmMessageBoxWidget* box)
{
    QPointer<EmMessageBoxWidget> watched(box);
    box->close();
    return spin_until([&] { return watched.isNull(); });
}

void close_all_message_boxes()
{
    for (EmMessageBoxWidget* box : message_boxes(false)) {
        close_and_destroy(box);
    }
}
