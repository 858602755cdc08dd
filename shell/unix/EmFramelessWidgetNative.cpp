#include "EmFramelessWidget.h"
#include "EmHitEdges.h"

#include <QWindow>

// X11 and Wayland send no hit-test message; presses inside the bands start the resize instead.
bool EmFramelessWidget::nativeEvent(const QByteArray& eventType, void* message, long* result)
{
    return QWidget::nativeEvent(eventType, message, result);
}

bool EmFramelessWidget::start_band_resize(const QPoint& pos)
{
    const Qt::Edges edges = hit_edges(hit_test(pos.x(), pos.y(), width(), height()));
    QWindow* const window = windowHandle();
    return edges && window && window->startSystemResize(edges);
}
