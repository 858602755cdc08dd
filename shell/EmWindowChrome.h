#pragma once

#include <QPoint>
#include <optional>

class QMouseEvent;
class QWidget;

// What the frameless windows share: a dark card with rounded corners, moved by dragging it with
// the left button.
class EmWindowChrome
{
public:
    explicit EmWindowChrome(int corner_radius);

    void paint(QWidget* window) const;
    void press(const QMouseEvent* event);
    void move(QWidget* window, const QMouseEvent* event);

private:
    const int corner_radius;
    // Unset until the first left press, so that a move which arrives without one (the press went
    // to another widget) cannot throw the window by the cursor's whole screen position.
    std::optional<QPoint> anchor;
};
