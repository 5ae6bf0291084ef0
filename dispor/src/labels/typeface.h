#pragma once

#include "picture.h"

#include <QString>

#include <memory>

namespace Dispor::Labels {

// The bold sans-serif face fontconfig chooses for the user, drawn with
// FreeType in shades of grey.
class Typeface {
public:
    // Null with a one-line reason when no face can be found or opened.
    static std::unique_ptr<Typeface> open(QString *why);
    ~Typeface();
    Typeface(const Typeface &) = delete;
    Typeface &operator=(const Typeface &) = delete;

    // The face's file, for messages.
    const QString &file() const { return m_file; }

    // The size of the text drawn from here on, in pixels per em; false with
    // a reason where the face has no such size.
    bool setPixelSize(int pixels, QString *why);
    // A line's advance from one baseline to the next, and from the top of a
    // line to its baseline, at the size set.
    int lineHeight() const;
    int ascent() const;
    // How wide line is drawn.
    int width(const QString &line) const;
    // line in colour over the picture, its baseline's start at x,y.
    void draw(const QString &line, int x, int y, uint32_t colour, Picture *picture) const;

private:
    Typeface() = default;

    struct Private;
    std::unique_ptr<Private> d;
    QString m_file;
};

} // namespace Dispor::Labels
