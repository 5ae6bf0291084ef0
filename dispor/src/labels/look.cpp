#include "look.h"

#include <algorithm>

namespace Dispor::Labels {

namespace {

constexpr uint32_t black = 0xff000000;
constexpr uint32_t white = 0xffffffff;
// Small enough for any output; below it text is no longer read.
constexpr int smallest = 8;

int margin(int pixelSize)
{
    return std::max(4, pixelSize / 2);
}

int frame(int pixelSize)
{
    return std::max(1, pixelSize / 16);
}

int widest(const Typeface &typeface, const QStringList &lines)
{
    int width = 0;
    for (const QString &line : lines)
        width = std::max(width, typeface.width(line));
    return width;
}

} // namespace

std::optional<Look> measure(Typeface &typeface, const QStringList &lines, QSize output, QString *why)
{
    Look look;
    look.pixelSize = std::max(smallest, output.height() / 18);
    if (!typeface.setPixelSize(look.pixelSize, why))
        return {};
    const int room = output.width() * 9 / 10 - 2 * margin(look.pixelSize);
    if (const int width = widest(typeface, lines); width > room && room > 0) {
        look.pixelSize = std::max(smallest, look.pixelSize * room / width);
        if (!typeface.setPixelSize(look.pixelSize, why))
            return {};
    }
    const int edge = margin(look.pixelSize);
    look.box = QSize(widest(typeface, lines) + 2 * edge, int(lines.size()) * typeface.lineHeight() + 2 * edge)
                   .boundedTo(output.expandedTo(QSize(1, 1)));
    return look;
}

std::optional<Picture> draw(Typeface &typeface, const QStringList &lines, const Look &look, QSize surface,
                            int scale, QString *why)
{
    if (!typeface.setPixelSize(look.pixelSize * scale, why))
        return {};
    Picture picture(surface.width() * scale, surface.height() * scale, black);
    const QSize box = look.box.boundedTo(surface) * scale;
    const int left = (picture.width - box.width()) / 2;
    const int top = (picture.height - box.height()) / 2;
    const int line = frame(look.pixelSize) * scale;
    picture.fill(left, top, box.width(), line, white);
    picture.fill(left, top + box.height() - line, box.width(), line, white);
    picture.fill(left, top, line, box.height(), white);
    picture.fill(left + box.width() - line, top, line, box.height(), white);
    const int edge = margin(look.pixelSize) * scale;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const int baseline = top + edge + int(i) * typeface.lineHeight() + typeface.ascent();
        typeface.draw(lines[i], left + edge, baseline, white, &picture);
    }
    return picture;
}

} // namespace Dispor::Labels
