#include "typeface.h"

#include "../text.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

namespace Dispor::Labels {

namespace {

// FreeType's 26.6 fixed point, rounded up to whole pixels.
int pixels(FT_Pos value)
{
    return int((value + 63) >> 6);
}

} // namespace

struct Typeface::Private {
    FT_Library library = nullptr;
    FT_Face face = nullptr;

    ~Private()
    {
        if (face)
            FT_Done_Face(face);
        if (library)
            FT_Done_FreeType(library);
    }
};

std::unique_ptr<Typeface> Typeface::open(QString *why)
{
    // The user's configuration and the system's font caches; its own
    // configuration object, so that nothing else in the process is touched.
    FcConfig *config = FcInitLoadConfigAndFonts();
    if (!config) {
        *why = QStringLiteral("fontconfig cannot load its configuration");
        return {};
    }
    FcPattern *pattern = FcNameParse(reinterpret_cast<const FcChar8 *>("sans-serif:bold"));
    FcConfigSubstitute(config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern *match = FcFontMatch(config, pattern, &result);
    FcChar8 *file = nullptr;
    int index = 0;
    QByteArray path;
    if (match && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file) {
        path = reinterpret_cast<const char *>(file);
        if (FcPatternGetInteger(match, FC_INDEX, 0, &index) != FcResultMatch)
            index = 0;
    }
    if (match)
        FcPatternDestroy(match);
    FcPatternDestroy(pattern);
    FcConfigDestroy(config);
    if (path.isEmpty()) {
        *why = QStringLiteral("fontconfig finds no sans-serif font");
        return {};
    }

    std::unique_ptr<Typeface> typeface(new Typeface);
    typeface->d = std::make_unique<Private>();
    typeface->m_file = shownPath(path);
    if (const FT_Error error = FT_Init_FreeType(&typeface->d->library)) {
        *why = u"FreeType cannot start (error "_qs + QString::number(error) + ")";
        return {};
    }
    if (const FT_Error error =
            FT_New_Face(typeface->d->library, path.constData(), index, &typeface->d->face)) {
        *why = u"FreeType cannot open the font "_qs + typeface->m_file + " (error " + QString::number(error) +
               ")";
        return {};
    }
    return typeface;
}

Typeface::~Typeface() = default;

bool Typeface::setPixelSize(int size, QString *why)
{
    if (const FT_Error error = FT_Set_Pixel_Sizes(d->face, 0, FT_UInt(size))) {
        *why = u"the font "_qs + m_file + " has no size of " + QString::number(size) + " pixels (error " +
               QString::number(error) + ")";
        return false;
    }
    return true;
}

int Typeface::lineHeight() const
{
    return pixels(d->face->size->metrics.height);
}

int Typeface::ascent() const
{
    return pixels(d->face->size->metrics.ascender);
}

int Typeface::width(const QString &line) const
{
    FT_Pos advance = 0;
    FT_UInt previous = 0;
    for (const char32_t code : line.toUcs4()) {
        const FT_UInt glyph = FT_Get_Char_Index(d->face, code);
        if (FT_HAS_KERNING(d->face) && previous && glyph) {
            FT_Vector kerning{};
            if (FT_Get_Kerning(d->face, previous, glyph, FT_KERNING_DEFAULT, &kerning) == 0)
                advance += kerning.x;
        }
        if (FT_Load_Glyph(d->face, glyph, FT_LOAD_DEFAULT) == 0)
            advance += d->face->glyph->advance.x;
        previous = glyph;
    }
    return pixels(advance);
}

void Typeface::draw(const QString &line, int x, int y, uint32_t colour, Picture *picture) const
{
    FT_Pos pen = FT_Pos(x) * 64;
    FT_UInt previous = 0;
    for (const char32_t code : line.toUcs4()) {
        // A character the face lacks is drawn as its missing glyph (0).
        const FT_UInt glyph = FT_Get_Char_Index(d->face, code);
        if (FT_HAS_KERNING(d->face) && previous && glyph) {
            FT_Vector kerning{};
            if (FT_Get_Kerning(d->face, previous, glyph, FT_KERNING_DEFAULT, &kerning) == 0)
                pen += kerning.x;
        }
        previous = glyph;
        if (FT_Load_Glyph(d->face, glyph, FT_LOAD_RENDER) != 0)
            continue;
        const FT_GlyphSlot slot = d->face->glyph;
        const FT_Bitmap &bitmap = slot->bitmap;
        const int left = int(pen >> 6) + slot->bitmap_left;
        const int top = y - slot->bitmap_top;
        if (bitmap.pixel_mode == FT_PIXEL_MODE_GRAY) {
            for (unsigned row = 0; row < bitmap.rows; ++row) {
                const unsigned char *line = bitmap.buffer + ptrdiff_t(row) * bitmap.pitch;
                for (unsigned column = 0; column < bitmap.width; ++column)
                    picture->blend(left + int(column), top + int(row), colour, line[column]);
            }
        } else if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO) {
            for (unsigned row = 0; row < bitmap.rows; ++row) {
                const unsigned char *line = bitmap.buffer + ptrdiff_t(row) * bitmap.pitch;
                for (unsigned column = 0; column < bitmap.width; ++column) {
                    if (line[column / 8] >> (7 - column % 8) & 1)
                        picture->blend(left + int(column), top + int(row), colour, 255);
                }
            }
        }
        pen += slot->advance.x;
    }
}

} // namespace Dispor::Labels
