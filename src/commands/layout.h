#pragma once

#include "output/frame.h"

#include <dispor/layout.h>

#include <QSize>
#include <QString>

// Keeps the layout closed and starting at the origin. Each function that can
// fail prints its message and returns 1, leaving every position as it was.

// Moves every enabled, connected output so the layout's top-left is 0,0;
// refuses a layout that would then not fit the coordinate range.
int normalizeLayout(const ConfigPtr &config);

// Moves the other outputs after the output's size changed from oldSize, so
// that a closed layout stays closed and the opposite change gives it back,
// then normalises.
int adjustLayoutAfterResize(const OutputPtr &output, QSize oldSize, const ConfigPtr &config);

// Before the output leaves the layout (switched off, made a mirror): the
// outputs beyond the gap it would leave close up, then all are normalised.
int leaveLayout(const OutputPtr &output, const ConfigPtr &config);

// Once the output has joined the layout (switched on, no longer a mirror):
// its own place if that is free and joins the layout, else right of it.
int joinLayout(const OutputPtr &output, const ConfigPtr &config);

// Switches the output on or off with the layout kept closed, and applies.
int applyEnabled(const OutputPtr &output, const ConfigPtr &config, bool enabled);

// Makes the output mirror the output with sourceId (0: none) with the
// layout kept closed, and applies.
int applyReplicationSource(const OutputPtr &output, const ConfigPtr &config, int sourceId);

// Steps 3 to 5 of a size change: the explicit logical size follows the
// new logical size, the neighbours move, and the configuration is applied.
int finishResize(const OutputPtr &output, QSize oldSize, const ConfigPtr &config);

using Side = Dispor::LayoutRules::Side;

// Puts output on the given side of the output the reference word names,
// sharing an edge, with the gap it leaves closed; then normalises and
// applies.
int placeNextTo(const OutputPtr &output, const ConfigPtr &config, const QString &reference, Side side);
