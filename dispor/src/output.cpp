#include "dispor/output.h"

#include "mode_block.h"
#include "output_data.h"

#include "sizes.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace Dispor {

namespace {

// Converting a double outside int's range is undefined: such a value is
// pinned to the nearest end. Loaders refuse what would get here.
int toInt(double value)
{
    if (std::isnan(value))
        return 0;
    return int(
        std::clamp(value, double(std::numeric_limits<int>::min()), double(std::numeric_limits<int>::max())));
}

QSize toSize(const QSizeF &size)
{
    return QSize(toInt(size.width()), toInt(size.height()));
}

} // namespace

Output::Output() : d(new Private) {}
Output::Output(const Data &data) : d(new Private(data)) {}
Output::Output(const Output &other) = default;
Output::Output(Output &&other) noexcept = default;
Output &Output::operator=(const Output &other) = default;
Output &Output::operator=(Output &&other) noexcept = default;
Output::~Output() = default;

const Output::Data &Output::data() const
{
    return d->data;
}

int Output::id() const
{
    return d->data.id;
}

QString Output::name() const
{
    return d->data.name;
}

QString Output::uuid() const
{
    return d->data.uuid;
}

QString Output::make() const
{
    return d->data.make;
}

QString Output::model() const
{
    return d->data.model;
}

QString Output::serialNumber() const
{
    return d->data.serialNumber;
}

Output::Type Output::type() const
{
    return d->data.type;
}

bool Output::isEnabled() const
{
    return d->data.enabled;
}

bool Output::isConnected() const
{
    return d->data.connected;
}

uint32_t Output::priority() const
{
    return d->data.priority;
}

QPoint Output::pos() const
{
    return d->data.pos;
}

QRect Output::geometry() const
{
    return QRect(d->data.pos, explicitLogicalSizeInt());
}

double Output::scale() const
{
    return d->data.scale;
}

Output::Rotation Output::rotation() const
{
    return d->data.rotation;
}

bool Output::isPlacementKnown() const
{
    return d->data.enabled || d->data.placementKnown;
}

ModeList Output::modes() const
{
    return d->data.modes;
}

ModePtr Output::currentMode() const
{
    return d->data.modes.value(d->data.currentModeId);
}

ModePtr Output::preferredMode() const
{
    return d->data.modes.value(d->data.preferredModeId);
}

QString Output::currentModeId() const
{
    return d->data.currentModeId;
}

QString Output::preferredModeId() const
{
    return d->data.preferredModeId;
}

QList<ModeInfo> Output::customModes() const
{
    return d->data.customModes;
}

Output::Capabilities Output::capabilities() const
{
    return d->data.capabilities;
}

int Output::replicationSource() const
{
    return d->data.replicationSource;
}

bool Output::isHdrEnabled() const
{
    return d->data.hdrEnabled;
}

bool Output::isWcgEnabled() const
{
    return d->data.wcgEnabled;
}

bool Output::automaticBrightness() const
{
    return d->data.automaticBrightness;
}

bool Output::ddcCiAllowed() const
{
    return d->data.ddcCiAllowed;
}

uint32_t Output::sdrBrightness() const
{
    return d->data.sdrBrightness;
}

double Output::sdrGamutWideness() const
{
    return d->data.sdrGamutWideness;
}

double Output::brightness() const
{
    return d->data.brightness;
}

double Output::dimming() const
{
    return d->data.dimming;
}

double Output::sharpness() const
{
    return d->data.sharpness;
}

double Output::maxPeakBrightness() const
{
    return d->data.maxPeakBrightness;
}

double Output::maxAverageBrightness() const
{
    return d->data.maxAverageBrightness;
}

double Output::minBrightness() const
{
    return d->data.minBrightness;
}

std::optional<double> Output::maxPeakBrightnessOverride() const
{
    return d->data.maxPeakBrightnessOverride;
}

std::optional<double> Output::maxAverageBrightnessOverride() const
{
    return d->data.maxAverageBrightnessOverride;
}

std::optional<double> Output::minBrightnessOverride() const
{
    return d->data.minBrightnessOverride;
}

QString Output::iccProfilePath() const
{
    return d->data.iccProfilePath;
}

QString Output::hdrIccProfilePath() const
{
    return d->data.hdrIccProfilePath;
}

Output::ColorProfileSource Output::colorProfileSource() const
{
    return d->data.colorProfileSource;
}

Output::ColorProfileSource Output::hdrColorProfileSource() const
{
    return d->data.hdrColorProfileSource;
}

Output::ColorPowerTradeoff Output::colorPowerPreference() const
{
    return d->data.colorPowerPreference;
}

Output::RgbRange Output::rgbRange() const
{
    return d->data.rgbRange;
}

Output::VrrPolicy Output::vrrPolicy() const
{
    return d->data.vrrPolicy;
}

Output::AutoRotatePolicy Output::autoRotatePolicy() const
{
    return d->data.autoRotatePolicy;
}

Output::EdrPolicy Output::edrPolicy() const
{
    return d->data.edrPolicy;
}

uint32_t Output::overscan() const
{
    return d->data.overscan;
}

uint32_t Output::abmLevel() const
{
    return d->data.abmLevel;
}

uint32_t Output::maxBitsPerColor() const
{
    return d->data.maxBitsPerColor;
}

uint32_t Output::automaticMaxBitsPerColorLimit() const
{
    return d->data.automaticMaxBitsPerColorLimit;
}

Output::BpcRange Output::bitsPerColorRange() const
{
    return d->data.bitsPerColorRange;
}

Output::DpmsMode Output::dpmsMode() const
{
    return d->data.dpms;
}

void Output::setEnabled(bool enabled)
{
    d->data.enabled = enabled;
}

void Output::setPos(const QPoint &pos)
{
    d->data.pos = pos;
    d->data.placementAsked = true;
}

void Output::setSize(const QSize &size)
{
    d->data.size = size;
    d->data.placementAsked = true;
}

void Output::setRotation(Rotation rotation)
{
    d->data.rotation = rotation;
    d->data.placementAsked = true;
}

void Output::setExplicitLogicalSize(const QSizeF &size)
{
    d->data.explicitLogicalSize = size;
    d->data.placementAsked = true;
}

void Output::setCurrentModeId(const QString &id)
{
    d->data.currentModeId = id;
    d->data.placementAsked = true;
}

void Output::setCustomModes(const QList<ModeInfo> &modes)
{
    d->data.customModes = modes;
}

void Output::setReplicationSource(int outputId)
{
    d->data.replicationSource = outputId;
    d->data.placementAsked = true;
}

void Output::setHdrEnabled(bool enabled)
{
    d->data.hdrEnabled = enabled;
}

void Output::setWcgEnabled(bool enabled)
{
    d->data.wcgEnabled = enabled;
}

void Output::setAutomaticBrightness(bool enabled)
{
    d->data.automaticBrightness = enabled;
}

void Output::setDdcCiAllowed(bool allowed)
{
    d->data.ddcCiAllowed = allowed;
}

void Output::setSdrBrightness(uint32_t nits)
{
    d->data.sdrBrightness = nits;
}

void Output::setSdrGamutWideness(double wideness)
{
    d->data.sdrGamutWideness = wideness;
}

void Output::setBrightness(double brightness)
{
    d->data.brightness = brightness;
}

void Output::setDimming(double dimming)
{
    d->data.dimming = dimming;
}

void Output::setSharpness(double sharpness)
{
    d->data.sharpness = sharpness;
}

void Output::setMaxPeakBrightnessOverride(std::optional<double> nits)
{
    d->data.maxPeakBrightnessOverride = nits;
}

void Output::setMaxAverageBrightnessOverride(std::optional<double> nits)
{
    d->data.maxAverageBrightnessOverride = nits;
}

void Output::setMinBrightnessOverride(std::optional<double> value)
{
    d->data.minBrightnessOverride = value;
}

void Output::setIccProfilePath(const QString &path)
{
    d->data.iccProfilePath = path;
}

void Output::setHdrIccProfilePath(const QString &path)
{
    d->data.hdrIccProfilePath = path;
}

void Output::setColorProfileSource(ColorProfileSource source)
{
    d->data.colorProfileSource = source;
}

void Output::setHdrColorProfileSource(ColorProfileSource source)
{
    d->data.hdrColorProfileSource = source;
}

void Output::setColorPowerPreference(ColorPowerTradeoff tradeoff)
{
    d->data.colorPowerPreference = tradeoff;
}

void Output::setRgbRange(RgbRange range)
{
    d->data.rgbRange = range;
}

void Output::setVrrPolicy(VrrPolicy policy)
{
    d->data.vrrPolicy = policy;
}

void Output::setAutoRotatePolicy(AutoRotatePolicy policy)
{
    d->data.autoRotatePolicy = policy;
}

void Output::setEdrPolicy(EdrPolicy policy)
{
    d->data.edrPolicy = policy;
}

void Output::setOverscan(uint32_t overscan)
{
    d->data.overscan = overscan;
}

void Output::setAbmLevel(uint32_t level)
{
    d->data.abmLevel = level;
}

void Output::setMaxBitsPerColor(uint32_t bits)
{
    d->data.maxBitsPerColor = bits;
}

QSize Output::size() const
{
    if (d->data.size)
        return *d->data.size;
    if (const ModePtr mode = currentMode())
        return mode->size();
    return QSize(0, 0);
}

QSize Output::explicitLogicalSizeInt() const
{
    return toSize(exactExplicitLogicalSize(*this));
}

void Output::setScale(double scale)
{
    if (d->data.scaleStep > 0 && scale > 0 && std::isfinite(scale))
        scale = std::max(1.0, std::round(scale / d->data.scaleStep)) * d->data.scaleStep;
    d->data.scale = scale;
    d->data.placementAsked = true;
}

QSize Output::logicalSize() const
{
    return toSize(exactLogicalSize(*this));
}

// Mode and ModeList.

class Mode::Private : public QSharedData {
public:
    Private(QString id, QSize size, float refreshRate)
        : refreshRate(refreshRate), id(std::move(id)), size(size)
    {}
    // From the block of the list being read, where there is one.
    static void *operator new(std::size_t size)
    {
        static_assert(alignof(Private) <= 8, "ModeBlock aligns for 8");
        return ModeBlock::take(size);
    }
    static void operator delete(void *at) { ModeBlock::give(at); }

    // The rate beside the count: 40 bytes on 64-bit systems, 48 with the
    // block's header, where the other order took 48 and so 56.
    float refreshRate;
    QString id;
    QSize size;
};

Mode::Mode(QString id, QSize size, float refreshRate) : d(new Private(std::move(id), size, refreshRate)) {}
Mode::Mode(const Mode &other) = default;
Mode &Mode::operator=(const Mode &other) = default;
Mode::~Mode() = default;

const QString &Mode::id() const
{
    return d->id;
}

QSize Mode::size() const
{
    return d->size;
}

float Mode::refreshRate() const
{
    return d->refreshRate;
}

namespace {

// QString's order (by UTF-16 unit), compared in place: ids are short.
bool before(const QString &a, const QString &b)
{
    const qsizetype n = std::min(a.size(), b.size());
    const QChar *x = a.constData(), *y = b.constData();
    for (qsizetype i = 0; i < n; ++i) {
        if (x[i] != y[i])
            return x[i] < y[i];
    }
    return a.size() < b.size();
}

ModeList::const_iterator lowerBound(const ModeList &list, const QString &id)
{
    return std::lower_bound(list.begin(), list.end(), id,
                            [](const ModePtr &mode, const QString &key) { return before(mode->id(), key); });
}

} // namespace

ModeList::ModeList() = default;
ModeList::ModeList(const ModeList &other) = default;
ModeList::ModeList(ModeList &&other) noexcept = default;
ModeList &ModeList::operator=(const ModeList &other) = default;
ModeList &ModeList::operator=(ModeList &&other) noexcept = default;
ModeList::~ModeList() = default;

qsizetype ModeList::size() const
{
    return d ? d->modes.size() : 0;
}

ModeList::const_iterator ModeList::begin() const
{
    return const_iterator(d ? d->modes.constData() : nullptr);
}

ModeList::const_iterator ModeList::end() const
{
    return const_iterator(d ? d->modes.constData() + d->modes.size() : nullptr);
}

ModeList::const_iterator ModeList::find(const QString &id) const
{
    const const_iterator at = lowerBound(*this, id);
    return at != end() && (*at)->id() == id ? at : end();
}

ModePtr ModeList::value(const QString &id) const
{
    const const_iterator at = find(id);
    return at != end() ? *at : ModePtr();
}

QString ModeList::firstKey() const
{
    return d->modes.first()->id();
}

QStringList ModeList::keys() const
{
    QStringList ids;
    ids.reserve(size());
    for (const ModePtr &mode : *this)
        ids.append(mode->id());
    return ids;
}

QList<ModePtr> ModeList::values() const
{
    return d ? d->modes : QList<ModePtr>();
}

void ModeList::insert(const ModePtr &mode)
{
    if (!d)
        d = new Private;
    QList<ModePtr> &modes = d->modes;
    // Modes usually come in order: then no search.
    if (modes.isEmpty() || before(modes.last()->id(), mode->id())) {
        modes.append(mode);
        return;
    }
    const qsizetype at = lowerBound(*this, mode->id()) - begin();
    if (modes[at]->id() == mode->id())
        modes[at] = mode;
    else
        modes.insert(at, mode);
}

qsizetype ModeList::remove(const QString &id)
{
    const const_iterator at = find(id);
    if (at == end())
        return 0;
    const qsizetype index = at - begin();
    d->modes.removeAt(index);
    return 1;
}

void ModeList::clear()
{
    d.reset();
}

void ModeList::reserve(qsizetype size)
{
    if (!d)
        d = new Private;
    d->modes.reserve(size);
}

bool ModeList::operator==(const ModeList &other) const
{
    return d == other.d || values() == other.values();
}

} // namespace Dispor
