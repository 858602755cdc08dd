#pragma once

#include "EmHitTest.h"

#include <Qt>

// The window edges that a resize from this band moves; none for a point outside the bands.
Qt::Edges hit_edges(EmHitCode code);
