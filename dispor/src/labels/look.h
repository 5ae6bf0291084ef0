#pragma once

#include "picture.h"
#include "typeface.h"

#include <QSize>
#include <QStringList>

#include <optional>

namespace Dispor::Labels {

// How a label looks: its lines in white, left-aligned in a white frame on
// black; each line about a fifteenth of the output's height, and no line
// wider than nine tenths of it, as the X11 backend draws them.
struct Look {
    int pixelSize = 0; // the text's, at buffer scale 1
    QSize box;         // the frame's outer size, in the output's logical pixels
};

// The look of lines on an output of the given logical size; a reason where
// the face cannot be sized.
std::optional<Look> measure(Typeface &typeface, const QStringList &lines, QSize output, QString *why);

// A picture of a surface's size (logical pixels) at the buffer scale, black,
// with the frame and its text centred on it.
std::optional<Picture> draw(Typeface &typeface, const QStringList &lines, const Look &look, QSize surface,
                            int scale, QString *why);

} // namespace Dispor::Labels
