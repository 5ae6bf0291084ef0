#pragma once

#include "output/frame.h"

#include <QSize>
#include <QString>

// Keeps the layout closed and starting at the origin. Each function that can
// fail prints its message and returns 1, leaving every position as it was.

// Moves every enabled, connected output so the layout's top-left is 0,0;
// refuses a layout that would then not fit the coordinate range.
int normalizeLayout(const ConfigPtr &config);

// Moves the outputs at or beyond the resized output's old centre by its
// change in size, without running them into outputs they did not overlap,
// then normalises.
int adjustLayoutAfterResize(const OutputPtr &output, QSize oldSize, const ConfigPtr &config);

// Steps 3 to 5 of a size change: the explicit logical size follows the
// new logical size, the neighbours move, and the configuration is applied.
int finishResize(const OutputPtr &output, QSize oldSize, const ConfigPtr &config);

enum class Side { Above, Below, LeftOf, RightOf };

// Puts output on the given side of the output the reference word names,
// sharing an edge, then normalises and applies.
int placeNextTo(const OutputPtr &output, const ConfigPtr &config, const QString &reference, Side side);
