#include "naming.h"

#include <algorithm>
#include <iterator>

namespace Dispor {

namespace {

using Type = Output::Type;
using Rotation = Output::Rotation;

struct Connector {
    const char *prefix;
    Type type;
};

// Longer prefixes before the shorter ones they start with.
constexpr Connector connectors[] = {
    {"TV-Composite", Type::TVComposite},
    {"TV-SVideo", Type::TVSVideo},
    {"TV-Component", Type::TVComponent},
    {"TV-SCART", Type::TVSCART},
    {"TV-C4", Type::TVC4},
    {"DisplayPort", Type::DisplayPort},
    {"Composite", Type::TVComposite},
    {"Component", Type::TVComponent},
    {"S-video", Type::TVSVideo},
    {"SVIDEO", Type::TVSVideo},
    {"SCART", Type::TVSCART},
    {"DVI-I", Type::DVII},
    {"DVI-D", Type::DVID},
    {"DVI-A", Type::DVIA},
    {"Panel", Type::Panel},
    {"LVDS", Type::Panel},
    {"HDMI", Type::HDMI},
    {"eDP", Type::Panel},
    {"DSI", Type::Panel},
    {"DVI", Type::DVI},
    {"VGA", Type::VGA},
    {"DIN", Type::TVSVideo},
    {"DP", Type::DisplayPort},
    {"TV", Type::TV},
};

// The prefix followed by the end, a digit or a separator: "DP-1", "DP1",
// "DisplayPort-0", but not "DPI-1". Compared case-insensitively; ASCII
// without Qt's case folding, which costs more and gives the same there.
bool namesConnector(const QString &name, const char *prefix)
{
    const QLatin1StringView word(prefix);
    if (name.size() < word.size())
        return false;
    const auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; };
    for (qsizetype i = 0; i < word.size(); ++i) {
        const char16_t c = name[i].unicode();
        if (c >= 0x80) {
            if (!name.startsWith(word, Qt::CaseInsensitive))
                return false;
            break;
        }
        if (lower(c) != lower(char16_t(word[i].unicode())))
            return false;
    }
    return name.size() == word.size() || !name.at(word.size()).isLetter();
}

constexpr Rotation transforms[] = {
    Rotation::None,    Rotation::Left,      Rotation::Inverted,   Rotation::Right,
    Rotation::Flipped, Rotation::Flipped90, Rotation::Flipped180, Rotation::Flipped270,
};

} // namespace

Output::Type connectorTypeOfName(const QString &name)
{
    for (const Connector &connector : connectors) {
        if (namesConnector(name, connector.prefix))
            return connector.type;
    }
    return Type::Unknown;
}

Output::Rotation rotationOfTransform(int64_t transform)
{
    return transform >= 0 && transform < int64_t(std::size(transforms)) ? transforms[transform]
                                                                        : Rotation::None;
}

int transformOfRotation(Output::Rotation rotation)
{
    const auto at = std::find(std::begin(transforms), std::end(transforms), rotation);
    return at == std::end(transforms) ? -1 : int(at - std::begin(transforms));
}

} // namespace Dispor
