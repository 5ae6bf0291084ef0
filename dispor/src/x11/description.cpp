#include "description.h"

#include "names.h"

#include <QHash>
#include <QPointF>
#include <QRect>
#include <QVarLengthArray>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

namespace Dispor::X11 {

namespace {

using Data = Output::Data;
using Cap = Output::Capability;

constexpr uint16_t reflectX = XCB_RANDR_ROTATION_REFLECT_X;
constexpr uint16_t reflectY = XCB_RANDR_ROTATION_REFLECT_Y;

// The top of the straight ramp servers start with (i << 8 for 256 steps):
// full brightness, although it falls short of 65535.
double defaultRampTop(qsizetype n)
{
    return n > 1 ? double(n - 1) * 65536 / n : 65535;
}

// A mode's id as the library names it: its decimal number (QString::number's
// text, made without its locale machinery: a server lists hundreds).
QString modeKey(xcb_randr_mode_t id)
{
    char16_t digits[10];
    char16_t *at = std::end(digits);
    do {
        *--at = char16_t(u'0' + id % 10);
        id /= 10;
    } while (id);
    return QString(reinterpret_cast<const QChar *>(at), std::end(digits) - at);
}

// The ids in the order of their keys ("100" before "63"): sorted by each
// key as a number of ten digits, padded with zeros on the right, and then
// its length.
void sortByKey(QList<xcb_randr_mode_t> *ids)
{
    QVarLengthArray<std::pair<uint64_t, xcb_randr_mode_t>, 128> keyed;
    for (const xcb_randr_mode_t id : std::as_const(*ids)) {
        uint64_t padded = id;
        int digits = 1;
        for (uint64_t n = id; n >= 10; n /= 10)
            ++digits;
        for (int i = digits; i < 10; ++i)
            padded *= 10;
        keyed.append({padded << 4 | uint64_t(digits), id});
    }
    std::sort(keyed.begin(), keyed.end());
    for (qsizetype i = 0; i < keyed.size(); ++i)
        (*ids)[i] = keyed[i].second;
}

} // namespace

Transform scaleTransform(double scale)
{
    if (scale == 1)
        return {};
    const auto factor = int32_t(std::clamp(std::floor(65536 / scale), 1.0, double(INT32_MAX)));
    return {{factor, 0, 0, 0, factor, 0, 0, 0, 65536}, "bilinear"};
}

std::optional<double> scaleOf(const Transform &transform)
{
    const std::array<int32_t, 9> &m = transform.matrix;
    if (m[0] <= 0 || m[0] != m[4] || m[1] || m[2] || m[3] || m[5] || m[6] || m[7] || m[8] != 65536)
        return std::nullopt;
    const double exact = 65536.0 / m[0];
    for (int digits = 0; digits <= 6; ++digits) {
        const double step = std::pow(10.0, digits);
        const double candidate = std::round(exact * step) / step;
        if (candidate > 0 && scaleTransform(candidate).matrix[0] == m[0])
            return candidate;
    }
    return exact;
}

QSize transformedExtent(QSize size, const Transform &transform)
{
    if (transform.matrix == Transform().matrix)
        return size;
    const std::array<int32_t, 9> &m = transform.matrix;
    double left = INFINITY, top = INFINITY, right = -INFINITY, bottom = -INFINITY;
    for (const QPointF corner : {QPointF(0, 0), QPointF(size.width(), 0), QPointF(0, size.height()),
                                 QPointF(size.width(), size.height())}) {
        const double w = (m[6] * corner.x() + m[7] * corner.y() + m[8]) / 65536.0;
        if (w <= 0)
            return {};
        const double x = (m[0] * corner.x() + m[1] * corner.y() + m[2]) / 65536.0 / w;
        const double y = (m[3] * corner.x() + m[4] * corner.y() + m[5]) / 65536.0 / w;
        left = std::min(left, x);
        top = std::min(top, y);
        right = std::max(right, x);
        bottom = std::max(bottom, y);
    }
    // Outward to whole pixels, as the server bounds it.
    return QSize(int(std::ceil(right) - std::floor(left)), int(std::ceil(bottom) - std::floor(top)));
}

// What the brightness of a gamma ramp is: its highest step over 65535, as
// clients write it, to four places, so that a value set reads back as given.
double rampBrightness(const CrtcState &crtc)
{
    if (crtc.red.isEmpty())
        return 1;
    const uint16_t top = std::max({crtc.red.last(), crtc.green.last(), crtc.blue.last()});
    if (top == defaultRampTop(crtc.red.size()))
        return 1;
    return std::min(1.0, std::round(top / 65535.0 * 10000) / 10000);
}

QList<uint16_t> scaledRamp(const QList<uint16_t> &full, double brightness)
{
    QList<uint16_t> result(full.size());
    for (qsizetype i = 0; i < full.size(); ++i)
        result[i] = uint16_t(std::clamp(std::lround(full[i] * brightness), 0L, 65535L));
    return result;
}

double recordedBrightness(double brightness)
{
    return std::round(std::clamp(brightness, 0.0, 1.0) * 1e6) / 1e6;
}

QByteArray gammaRecord(const Gamma &gamma)
{
    const auto millionths = uint32_t(std::lround(recordedBrightness(gamma.brightness) * 1e6));
    QList<uint16_t> units = {uint16_t(millionths >> 16), uint16_t(millionths & 0xffff)};
    units << gamma.red << gamma.green << gamma.blue;
    return QByteArray(reinterpret_cast<const char *>(units.constData()), units.size() * 2);
}

std::optional<Gamma> parseGammaRecord(const Property &property)
{
    const qsizetype count = property.data.size() / 2;
    if (property.format != 16 || count < 5 || (count - 2) % 3)
        return std::nullopt;
    QList<uint16_t> units(count);
    std::memcpy(units.data(), property.data.constData(), size_t(count) * 2);
    const uint32_t millionths = uint32_t(units[0]) << 16 | units[1];
    if (millionths > 1000000)
        return std::nullopt;
    const qsizetype n = (count - 2) / 3;
    return Gamma{millionths / 1e6, units.mid(2, n), units.mid(2 + n, n), units.mid(2 + 2 * n, n)};
}

namespace {

// Whether a record's ramps could be ramps at full brightness, as we record
// them: every channel rising, the highest reaching the top. Any other client
// may write the record; at brightness 0 every ramp would match the CRTC.
bool plausibleBase(const Gamma &gamma)
{
    uint16_t top = 0;
    for (const QList<uint16_t> *ramp : {&gamma.red, &gamma.green, &gamma.blue}) {
        if (ramp->first() >= ramp->last() || !std::is_sorted(ramp->begin(), ramp->end()))
            return false;
        top = std::max(top, ramp->last());
    }
    return top >= std::floor(defaultRampTop(gamma.red.size()));
}

} // namespace

std::optional<Gamma> gammaOf(const ServerState &state, const CrtcState &crtc)
{
    if (crtc.red.isEmpty())
        return std::nullopt;
    for (const xcb_randr_output_t id : crtc.outputs) {
        const Property *property = findProperty(state.outputs.value(id), state.atoms.gamma);
        const std::optional<Gamma> record = property ? parseGammaRecord(*property) : std::nullopt;
        if (record && record->red.size() == crtc.red.size() && plausibleBase(*record) &&
            scaledRamp(record->red, record->brightness) == crtc.red &&
            scaledRamp(record->green, record->brightness) == crtc.green &&
            scaledRamp(record->blue, record->brightness) == crtc.blue)
            return record;
    }
    uint16_t top = 0;
    for (const QList<uint16_t> *ramp : {&crtc.red, &crtc.green, &crtc.blue}) {
        if (!std::is_sorted(ramp->begin(), ramp->end()))
            return std::nullopt;
        top = std::max(top, ramp->last());
    }
    if (!top && !state.driverRamps)
        return std::nullopt;
    if (!top) {
        // Blacked out by a client: at full, the driver's straight ramp.
        QList<uint16_t> straight(crtc.red.size());
        for (qsizetype i = 0; i < straight.size(); ++i)
            straight[i] = uint16_t(i * 65536 / straight.size());
        return Gamma{0, straight, straight, straight};
    }
    Gamma gamma{rampBrightness(crtc), crtc.red, crtc.green, crtc.blue};
    if (gamma.brightness < 1) {
        // Another client's ramps below full brightness: at full, their top
        // step would reach 65535.
        for (QList<uint16_t> *ramp : {&gamma.red, &gamma.green, &gamma.blue})
            *ramp = scaledRamp(*ramp, 65535.0 / top);
    }
    return gamma;
}

const Property *backlightOf(const OutputState &output, const Atoms &atoms)
{
    const Property *property = findProperty(output, atoms.backlight);
    return usableRange(property) && property->validValues[0] < property->validValues[1] ? property : nullptr;
}

double backlightBrightness(const Property &backlight)
{
    const int64_t min = backlight.validValues[0], max = backlight.validValues[1];
    const int64_t value = std::clamp<int64_t>(backlight.value().value_or(max), min, max);
    return double(value - min) / double(max - min);
}

int32_t backlightValue(const Property &backlight, double brightness)
{
    const int64_t min = backlight.validValues[0], max = backlight.validValues[1];
    return int32_t(min + std::llround(std::clamp(brightness, 0.0, 1.0) * double(max - min)));
}

// The RGB range words of "Broadcast RGB".
Output::RgbRange rgbRangeOf(const QString &word)
{
    if (word == u"Full")
        return Output::RgbRange::Full;
    if (word.startsWith(u"Limited"))
        return Output::RgbRange::Limited;
    return Output::RgbRange::Automatic;
}

bool usable(const Property *property)
{
    return property && !property->immutable;
}

bool usableRange(const Property *property)
{
    return usable(property) && property->range && property->validValues.size() == 2 && property->format == 32;
}

const Property *findProperty(const OutputState &output, xcb_atom_t atom)
{
    if (atom == XCB_NONE)
        return nullptr;
    const auto it = output.properties.constFind(atom);
    return it == output.properties.constEnd() ? nullptr : &*it;
}

int replicaMark(const OutputState &output, const ServerState &state)
{
    const Property *property = findProperty(output, state.atoms.replicaOf);
    if (!property || property->format != 32 || property->data.size() != 8)
        return 0;
    uint32_t units[2];
    std::memcpy(units, property->data.constData(), sizeof units);
    return units[1] == state.timestamp ? int(units[0]) : 0;
}

QByteArray replicaMarkData(xcb_randr_output_t source, xcb_timestamp_t timestamp)
{
    const uint32_t units[2] = {source, timestamp};
    return QByteArray(reinterpret_cast<const char *>(units), sizeof units);
}

Output::Rotation rotationFromRandr(uint16_t randr)
{
    int turn = 0;
    for (int k = 0; k < 4; ++k) {
        if (randr & (1 << k))
            turn = k;
    }
    bool flipped = false;
    if ((randr & reflectX) && (randr & reflectY)) {
        turn = (turn + 2) % 4;
    } else if (randr & reflectY) {
        turn = (turn + 2) % 4;
        flipped = true;
    } else if (randr & reflectX) {
        flipped = true;
    }
    return Output::Rotation((flipped ? 16u : 1u) << turn);
}

uint16_t rotationToRandr(Output::Rotation rotation, uint16_t supported)
{
    const uint32_t value = uint32_t(rotation);
    int turn = 0;
    bool flipped = false;
    for (int k = 0; k < 8; ++k) {
        if (value == (1u << k)) {
            turn = k % 4;
            flipped = k >= 4;
        }
    }
    const uint16_t straight = uint16_t(1 << turn);
    const uint16_t opposite = uint16_t(1 << ((turn + 2) % 4));
    const uint16_t candidates[2] = {uint16_t(flipped ? reflectX | straight : straight),
                                    uint16_t(flipped ? reflectY | opposite : reflectX | reflectY | opposite)};
    for (const uint16_t bits : candidates) {
        if ((bits & supported) == bits)
            return bits;
    }
    return 0;
}

std::optional<ModeInfo> customModeOf(const ModeLine &mode)
{
    std::optional<ModeInfo> custom = parseCustomModeName(mode.name);
    if (custom && !custom->timings) {
        custom->width = mode.timings.width;
        custom->height = mode.timings.height;
    }
    return custom;
}

QMap<int, Data> describe(const ServerState &state, const RememberedOutputs &remembered)
{
    const Atoms &atoms = state.atoms;
    const auto edidOf = [&atoms](const OutputState &output) -> std::optional<EdidIdentity> {
        if (const Property *property = findProperty(output, atoms.edid); property && property->format == 8)
            return edidIdentity(property->data);
        return std::nullopt;
    };
    QMap<int, Data> outputs;
    for (const OutputState &output : state.outputs) {
        Data d;
        d.id = int(output.id);
        d.name = output.name;
        QString connector;
        if (const Property *property = findProperty(output, atoms.connectorType);
            property && property->format == 32)
            connector = state.atomName(xcb_atom_t(property->value().value_or(0)));
        d.type = connectorType(connector, output.name);
        const std::optional<EdidIdentity> edid = edidOf(output);
        d.uuid = outputUuid(edid, output.name);
        if (edid)
            identify(*edid, &d.make, &d.model, &d.serialNumber);
        d.connected = output.connected;

        const auto crtc = state.crtcs.constFind(output.crtc);
        const bool hasCrtc = crtc != state.crtcs.constEnd() && crtc->mode != XCB_NONE;
        d.enabled = hasCrtc;
        QList<xcb_randr_mode_t> modes = output.modes;
        if (hasCrtc && !modes.contains(crtc->mode))
            modes.append(crtc->mode);
        // The list keeps its modes in the order of their keys: put in that
        // order, each goes at the end.
        sortByKey(&modes);
        d.modes.reserve(modes.size());
        bool customs = false;
        for (const xcb_randr_mode_t id : std::as_const(modes)) {
            const ModeLine &mode = state.modes.value(id);
            const std::optional<ModeInfo> custom = customModeOf(mode);
            customs = customs || custom;
            // A custom mode asked for by size and rate has the rate asked
            // for: CVT only comes near it (59.95 Hz for 1600x900@60), and the
            // mode is found again by what it was made from.
            const float rate = custom && !custom->timings ? custom->refreshRate : refreshRate(mode.timings);
            d.modes.insert(
                ModePtr::create(modeKey(id), QSize(mode.timings.width, mode.timings.height), rate));
        }
        // The custom modes the output lists, in its order.
        if (customs) {
            for (const xcb_randr_mode_t id : output.modes) {
                if (const std::optional<ModeInfo> custom = customModeOf(state.modes.value(id)))
                    d.customModes.append(*custom);
            }
        }
        if (output.preferred > 0 && !output.modes.isEmpty())
            d.preferredModeId = modeKey(output.modes.first());

        d.capabilities = Cap::Disable | Cap::CustomModes;
        if (!hasCrtc) {
            d.size = QSize(0, 0); // no mode, no area
            d.placementKnown = false;
        }
        if (hasCrtc) {
            d.currentModeId = modeKey(crtc->mode);
            d.pos = QPoint(crtc->x, crtc->y);
            d.rotation = rotationFromRandr(crtc->rotation);
            // A transform another client set (xrandr --scale) reads as a
            // scale too; the area the CRTC covers is what the server says.
            if (crtc->transform.matrix != Transform().matrix) {
                d.scale = scaleOf(crtc->transform).value_or(1);
                d.explicitLogicalSize = QSizeF(crtc->width, crtc->height);
            }
            if (const std::optional<Gamma> gamma = gammaOf(state, *crtc)) {
                d.capabilities |= Cap::BrightnessControl;
                d.brightness = gamma->brightness;
            }
        }
        // The panel's light where the driver offers it; the ramps stay.
        if (const Property *backlight = backlightOf(output, atoms)) {
            d.capabilities |= Cap::BrightnessControl;
            d.brightness = backlightBrightness(*backlight);
        }
        if (const Property *property = findProperty(output, atoms.broadcastRgb);
            usable(property) && property->format == 32 && !property->validValues.isEmpty()) {
            d.capabilities |= Cap::RgbRange;
            d.rgbRange = rgbRangeOf(state.atomName(xcb_atom_t(property->value().value_or(0))));
        }
        if (const Property *property = findProperty(output, atoms.maxBpc); usableRange(property)) {
            d.capabilities |= Cap::MaxBitsPerColor;
            const int32_t min = property->validValues[0], max = property->validValues[1];
            d.bitsPerColorRange = {uint32_t(std::max(min, 0)), uint32_t(std::max(max, 0))};
            // RandR's "max bpc" is a limit, never "automatic": the value held
            // is the limit, and 0 the automatic value where the range has it.
            d.maxBitsPerColor = uint32_t(std::max(property->value().value_or(max), 0));
        }
        if (const Property *property = findProperty(output, atoms.underscan);
            usable(property) && property->format == 32 &&
            usable(findProperty(output, atoms.underscanHBorder))) {
            d.capabilities |= Cap::Overscan;
            const bool on = state.atomName(xcb_atom_t(property->value().value_or(0))) == u"on";
            d.overscan =
                on ? uint32_t(std::max(findProperty(output, atoms.underscanHBorder)->value().value_or(0), 0))
                   : 0;
        }
        d.dpms = d.connected ? state.dpms : Output::DpmsMode::On;
        outputs.insert(d.id, d);
    }

    // Twin monitors that tell no serial apart: each uuid still names one output.
    QHash<QString, int> uuids;
    for (const Data &d : std::as_const(outputs))
        ++uuids[d.uuid];
    for (Data &d : outputs) {
        if (uuids.value(d.uuid) > 1)
            d.uuid = outputUuid(edidOf(state.outputs.value(xcb_randr_output_t(d.id))), d.name, true);
    }

    // Known by its monitor's uuid, a disabled output gets its mode back,
    // and the mode's area.
    for (Data &d : outputs) {
        const auto record = remembered.constFind(d.name);
        if (!d.enabled && record != remembered.constEnd() && restore(d, *record))
            d.size.reset();
    }

    // Priority 1 is the server's primary output alone, when it has one that
    // shows something; the other enabled, connected outputs follow by id.
    int rank = 1;
    if (outputs.contains(int(state.primary))) {
        Data &primary = outputs[int(state.primary)];
        if (primary.enabled && primary.connected)
            primary.priority = 1;
    }
    for (Data &d : outputs) {
        if (d.enabled && d.connected && !d.priority)
            d.priority = uint32_t(++rank);
    }

    // Outputs that show the same area mirror one of them. RandR keeps no
    // direction, so a replica we made names its source in our mark; among
    // outputs mirrored by others, the primary is the source, else the lowest id.
    const auto areaOf = [&state](const Data &d) {
        const CrtcState &crtc = state.crtcs.value(state.outputs.value(xcb_randr_output_t(d.id)).crtc);
        return QRect(crtc.x, crtc.y, crtc.width, crtc.height);
    };
    for (Data &d : outputs) {
        if (!d.enabled)
            continue;
        QList<const Data *> group;
        for (const Data &other : std::as_const(outputs)) {
            if (other.enabled && areaOf(other) == areaOf(d))
                group.append(&other);
        }
        if (group.size() < 2)
            continue;
        const auto named = [&](const Data *member) -> const Data * {
            const int source = replicaMark(state.outputs.value(xcb_randr_output_t(member->id)), state);
            for (const Data *candidate : std::as_const(group)) {
                if (candidate != member && candidate->id == source)
                    return candidate;
            }
            return nullptr;
        };
        const Data *source = nullptr;
        for (const Data *member : std::as_const(group)) {
            if (const Data *candidate = named(member); candidate && !named(candidate)) {
                source = candidate;
                break;
            }
        }
        for (const Data *member : std::as_const(group)) {
            if (!source && member->priority == 1)
                source = member;
        }
        if (!source)
            source = group.first();
        if (source->id != d.id)
            d.replicationSource = source->id;
    }
    return outputs;
}

} // namespace Dispor::X11
