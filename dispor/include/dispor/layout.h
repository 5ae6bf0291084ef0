#pragma once

#include "dispor/config.h"

#include <QSize>

// The layout rules the backends keep, for a program that changes a
// snapshot's layout itself. The layout is made of the enabled, connected
// outputs that mirror nothing; a mirror moves with its source. Each
// function returns false, changing nothing, when the result would not fit
// int coordinates.
namespace Dispor::LayoutRules {

// Moves every enabled, connected output so that the layout's top-left is
// 0,0.
DISPOR_EXPORT bool normalize(Config &config);

// After output took a new logical size (its explicitLogicalSizeInt()) in
// place of oldSize, moves the others so that a closed layout stays closed
// and the opposite resize gives it back; then normalises.
DISPOR_EXPORT bool adjustAfterResize(Config &config, const Output &output, QSize oldSize);

// Before output leaves the layout (disabled, or made a mirror): where its
// going would cut the layout apart, the outputs beyond the gap close up.
// Sets *moved to whether any output moved.
DISPOR_EXPORT bool closeUpAround(Config &config, const Output &output, bool *moved);

// Once output has joined the layout (enabled, or no longer a mirror): it
// keeps its own place when that overlaps nothing and joins the layout,
// else it goes right of the layout, level with the rightmost output's top.
// Sets *moved to whether its position changed.
DISPOR_EXPORT bool placeJoining(Config &config, Output &output, bool *moved);

// The sides of an output that another can be put on.
enum class Side { Above, Below, LeftOf, RightOf };

// Puts output on that side of reference, sharing the edge, level with
// reference's top (left of, right of) or left edge (above, below), then
// normalises. An enabled output first leaves its place as closeUpAround
// has it, unless it is there already; a mirror mirrors no more. A
// disabled output is placed, and the layout normalised without it.
DISPOR_EXPORT bool placeBeside(Config &config, Output &output, const Output &reference, Side side);

} // namespace Dispor::LayoutRules
