#include "EmFramelessWidget.h"
#include "EmHitTest.h"

#include <windows.h>

static_assert(static_cast<long>(EmHitCode::left) == HTLEFT, "hit codes are the system's");
static_assert(static_cast<long>(EmHitCode::right) == HTRIGHT, "hit codes are the system's");
static_assert(static_cast<long>(EmHitCode::top) == HTTOP, "hit codes are the system's");
static_assert(static_cast<long>(EmHitCode::top_left) == HTTOPLEFT, "hit codes are the system's");
static_assert(static_cast<long>(EmHitCode::top_right) == HTTOPRIGHT, "hit codes are the system's");
static_assert(static_cast<long>(EmHitCode::bottom) == HTBOTTOM, "hit codes are the system's");
static_assert(static_cast<long>(EmHitCode::bottom_left) == HTBOTTOMLEFT, "hit codes are the system's");
static_assert(static_cast<long>(EmHitCode::bottom_right) == HTBOTTOMRIGHT, "hit codes are the system's");

bool EmFramelessWidget::nativeEvent(const QByteArray& eventType, void* message, long* result)
{
    const MSG* const msg = static_cast<const MSG*>(message);
    if (msg->message != WM_NCHITTEST) {
        return QWidget::nativeEvent(eventType, message, result);
    }
    const long long packed = static_cast<long long>(msg->lParam);
    const EmHitCode code =
        hit_test(packed_x(packed) - geometry().x(), packed_y(packed) - geometry().y(), width(), height());
    if (code == EmHitCode::none) {
        // The system's default answer makes the point client area, where presses start a drag.
        return false;
    }
    *result = static_cast<long>(code);
    return true;
}

// Presses inside the bands never reach the widget: the hit-test answer above makes them the
// system's, which resizes the window itself.
bool EmFramelessWidget::start_band_resize(const QPoint&)
{
    return false;
}
