#include "EmHitEdges.h"

Qt::Edges hit_edges(EmHitCode code)
{
    switch (code) {
    case EmHitCode::left:
        return Qt::LeftEdge;
    case EmHitCode::right:
        return Qt::RightEdge;
    case EmHitCode::top:
        return Qt::TopEdge;
    case EmHitCode::top_left:
        return Qt::TopEdge | Qt::LeftEdge;
    case EmHitCode::top_right:
        return Qt::TopEdge | Qt::RightEdge;
    case EmHitCode::bottom:
        return Qt::BottomEdge;
    case EmHitCode::bottom_left:
        return Qt::BottomEdge | Qt::LeftEdge;
    case EmHitCode::bottom_right:
        return Qt::BottomEdge | Qt::RightEdge;
    case EmHitCode::none:
        break;
    }
    return {};
}
