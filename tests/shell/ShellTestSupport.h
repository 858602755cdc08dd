#pragma once

#include <QList>
#include <QPoint>
#include <Qt>

class EmMessageBoxWidget;
class QWidget;

// Delivers mouse events straight to a widget, with the cursor given in screen coordinates.
void press_at(QWidget* widget, QPoint global, Qt::MouseButton button);
void move_to(QWidget* widget, QPoint global, Qt::MouseButtons held);

QList<EmMessageBoxWidget*> message_boxes(bool only_visible = true);
// Closes the box and lets it delete itself; false if it is still alive afterwards.
bool close_and_destroy(EmMessageBoxWidget* box);
// Closes every box, so that the next test starts without a shared error box.
void close_all_message_boxes();
