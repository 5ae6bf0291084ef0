#pragma once

#include "dispor/export.h"
#include "dispor/mode.h"

#include <QFlags>
#include <QList>
#include <QPoint>
#include <QRect>
#include <QSizeF>

namespace Dispor {

// One output (a connector and what is plugged into it) as a snapshot holds
// it. Getters read the snapshot; setters change only the snapshot, and
// SetConfigOperation applies what changed. Nothing here talks to a display
// server, blocks or fails: a value the output cannot take is refused when
// the change is applied. Shared through OutputPtr within its Config.
class DISPOR_EXPORT Output {
public:
    // The connector type, as the kernel's DRM connector types number them.
    enum class Type : uint32_t {
        Unknown = 0,
        VGA = 1,
        DVI = 2,
        DVII = 3,
        DVIA = 4,
        DVID = 5,
        HDMI = 6,
        Panel = 7,
        TV = 8,
        TVComposite = 9,
        TVSVideo = 10,
        TVComponent = 11,
        TVSCART = 12,
        TVC4 = 13,
        DisplayPort = 14,
    };

    // Single bits; outputs rotate counter-clockwise.
    enum class Rotation : uint32_t {
        None = 1,
        Left = 2,
        Inverted = 4,
        Right = 8,
        Flipped = 16,
        Flipped90 = 32,
        Flipped180 = 64,
        Flipped270 = 128,
    };

    // Where the colour description comes from: plain sRGB, an ICC profile
    // file, or the display's EDID.
    enum class ColorProfileSource : uint32_t { sRGB = 0, ICC = 1, EDID = 2 };
    enum class ColorPowerTradeoff : uint32_t { PreferEfficiency = 0, PreferAccuracy = 1 };
    enum class RgbRange : uint32_t { Automatic = 0, Full = 1, Limited = 2 };
    enum class VrrPolicy : uint32_t { Never = 0, Always = 1, Automatic = 2 };
    enum class AutoRotatePolicy : uint32_t { Never = 0, InTabletMode = 1, Always = 2 };
    enum class EdrPolicy : uint32_t { Never = 0, Always = 1 };
    enum class DpmsMode : uint32_t { On = 0, Standby = 1, Suspend = 2, Off = 3 };

    // What the output and its display service can do; a change that needs
    // a capability the output lacks is refused when applied.
    enum class Capability : uint32_t {
        Overscan = 0x1,
        Vrr = 0x2,
        RgbRange = 0x4,
        HighDynamicRange = 0x8,
        WideColorGamut = 0x10,
        AutoRotation = 0x20,
        IccProfile = 0x40,
        BrightnessControl = 0x80,
        BuiltInColorProfile = 0x100,
        DdcCi = 0x200,
        MaxBitsPerColor = 0x400,
        Edr = 0x800,
        SharpnessControl = 0x1000,
        CustomModes = 0x2000,
        AutomaticBrightness = 0x4000,
        HdrIccProfile = 0x8000,
        Abm = 0x10000,
        Disable = 0x20000,
    };
    using Capabilities = QFlags<Capability>;

    // The bits per colour channel the output accepts.
    struct BpcRange {
        uint32_t min = 0;
        uint32_t max = 0;
        bool operator==(const BpcRange &) const = default;
    };

    // Everything the library knows of one output, as one value: what an
    // Output is made from, and what data() hands out whole. Programs change
    // an output through the setters below.
    struct Data {
        int id = 0;
        QString name;
        QString uuid;
        Type type = Type::Unknown;
        bool enabled = true;
        bool connected = true;
        uint32_t priority = 0;
        QPoint pos;
        ModeList modes;
        QString currentModeId;   // empty: none
        QString preferredModeId; // empty: none
        std::optional<QSize> size;
        double scale = 1.0;
        // How the display service holds the scale and derives the logical
        // size from it, set by the backend that describes the output.
        double scaleStep = 0; // scales are multiples of it; 0: any value
        enum class Sizing {
            Rounded,   // size / scale, rounded to the nearest integer
            Truncated, // size / scale, rounded toward zero
            Unscaled,  // the size itself, whatever the scale
        } sizing = Sizing::Rounded;
        Rotation rotation = Rotation::None;
        std::optional<QSizeF> explicitLogicalSize;
        Capabilities capabilities;
        bool hdrEnabled = false;
        bool wcgEnabled = false;
        bool automaticBrightness = false;
        bool ddcCiAllowed = false;
        uint32_t sdrBrightness = 200;
        double sdrGamutWideness = 0;
        double brightness = 1;
        double dimming = 1;
        double sharpness = 0;
        double maxPeakBrightness = 0;
        double maxAverageBrightness = 0;
        double minBrightness = 0;
        std::optional<double> maxPeakBrightnessOverride;
        std::optional<double> maxAverageBrightnessOverride;
        std::optional<double> minBrightnessOverride;
        QString iccProfilePath;
        QString hdrIccProfilePath;
        ColorProfileSource colorProfileSource = ColorProfileSource::sRGB;
        ColorProfileSource hdrColorProfileSource = ColorProfileSource::EDID;
        ColorPowerTradeoff colorPowerPreference = ColorPowerTradeoff::PreferEfficiency;
        RgbRange rgbRange = RgbRange::Automatic;
        VrrPolicy vrrPolicy = VrrPolicy::Automatic;
        AutoRotatePolicy autoRotatePolicy = AutoRotatePolicy::InTabletMode;
        EdrPolicy edrPolicy = EdrPolicy::Never;
        uint32_t overscan = 0;
        uint32_t abmLevel = 0;
        uint32_t maxBitsPerColor = 0;
        uint32_t automaticMaxBitsPerColorLimit = 0;
        BpcRange bitsPerColorRange;
        int replicationSource = 0;
        QList<ModeInfo> customModes;
        DpmsMode dpms = DpmsMode::On;
    };

    // An output of the given state, for programs and tests that build their
    // own snapshots.
    explicit Output(Data data) : m_d(std::move(data)) {}

    // The backend's id: unique in a snapshot, stable while the output exists.
    int id() const { return m_d.id; }
    // The connector name, such as "DP-1"; text from the display server.
    QString name() const { return m_d.name; }
    // Stable across sessions where the backend can tell; may be empty.
    QString uuid() const { return m_d.uuid; }
    Type type() const { return m_d.type; }
    // Part of the layout (shows a picture).
    bool isEnabled() const { return m_d.enabled; }
    // Something is plugged in.
    bool isConnected() const { return m_d.connected; }
    // Rank among the enabled, connected outputs: 1 is primary, 0 none.
    uint32_t priority() const { return m_d.priority; }
    // Top-left corner in the layout's logical coordinates.
    QPoint pos() const { return m_d.pos; }
    // pos() and the logical size the layout uses.
    QRect geometry() const { return QRect(m_d.pos, explicitLogicalSizeInt()); }
    // The pixel size: as set, else the current mode's size.
    QSize size() const;
    // The scale factor: 1.0 is 100%, 2.0 is 200%.
    double scale() const { return m_d.scale; }
    Rotation rotation() const { return m_d.rotation; }
    // The logical size set with setExplicitLogicalSize(), rounded, else
    // logicalSize().
    QSize explicitLogicalSizeInt() const;
    // size() divided by scale() as Data::sizing says, transposed for quarter
    // turns.
    QSize logicalSize() const;
    // The modes the output offers, by id.
    ModeList modes() const { return m_d.modes; }
    // The current and the preferred mode; null when there is none.
    ModePtr currentMode() const { return m_d.modes.value(m_d.currentModeId); }
    ModePtr preferredMode() const { return m_d.modes.value(m_d.preferredModeId); }
    QString currentModeId() const { return m_d.currentModeId; }
    QString preferredModeId() const { return m_d.preferredModeId; }
    // The modes a user added, in list order.
    QList<ModeInfo> customModes() const { return m_d.customModes; }
    Capabilities capabilities() const { return m_d.capabilities; }
    // The id of the output this one mirrors; 0 when it mirrors none.
    int replicationSource() const { return m_d.replicationSource; }

    // HDR and colour: the values as the display service reports them.
    // Brightness and dimming are fractions (1.0 is 100%); the SDR
    // brightness and the peak and average luminances are in nits.
    bool isHdrEnabled() const { return m_d.hdrEnabled; }
    bool isWcgEnabled() const { return m_d.wcgEnabled; }
    bool automaticBrightness() const { return m_d.automaticBrightness; }
    bool ddcCiAllowed() const { return m_d.ddcCiAllowed; }
    uint32_t sdrBrightness() const { return m_d.sdrBrightness; }
    double sdrGamutWideness() const { return m_d.sdrGamutWideness; }
    double brightness() const { return m_d.brightness; }
    double dimming() const { return m_d.dimming; }
    double sharpness() const { return m_d.sharpness; }
    double maxPeakBrightness() const { return m_d.maxPeakBrightness; }
    double maxAverageBrightness() const { return m_d.maxAverageBrightness; }
    double minBrightness() const { return m_d.minBrightness; }
    std::optional<double> maxPeakBrightnessOverride() const { return m_d.maxPeakBrightnessOverride; }
    std::optional<double> maxAverageBrightnessOverride() const { return m_d.maxAverageBrightnessOverride; }
    // In 1/10000 nit.
    std::optional<double> minBrightnessOverride() const { return m_d.minBrightnessOverride; }
    QString iccProfilePath() const { return m_d.iccProfilePath; }
    QString hdrIccProfilePath() const { return m_d.hdrIccProfilePath; }
    ColorProfileSource colorProfileSource() const { return m_d.colorProfileSource; }
    ColorProfileSource hdrColorProfileSource() const { return m_d.hdrColorProfileSource; }
    ColorPowerTradeoff colorPowerPreference() const { return m_d.colorPowerPreference; }
    RgbRange rgbRange() const { return m_d.rgbRange; }
    VrrPolicy vrrPolicy() const { return m_d.vrrPolicy; }
    AutoRotatePolicy autoRotatePolicy() const { return m_d.autoRotatePolicy; }
    EdrPolicy edrPolicy() const { return m_d.edrPolicy; }
    uint32_t overscan() const { return m_d.overscan; }
    uint32_t abmLevel() const { return m_d.abmLevel; }
    uint32_t maxBitsPerColor() const { return m_d.maxBitsPerColor; }
    uint32_t automaticMaxBitsPerColorLimit() const { return m_d.automaticMaxBitsPerColorLimit; }
    BpcRange bitsPerColorRange() const { return m_d.bitsPerColorRange; }
    DpmsMode dpmsMode() const { return m_d.dpms; }

    // Setters change this snapshot only; SetConfigOperation applies it. They
    // take any value; the library or the display service refuses, when
    // applying, what the output cannot take (a mode id it lacks, a value
    // out of range, a missing capability), with a one-line reason.
    void setEnabled(bool enabled) { m_d.enabled = enabled; }
    void setPos(const QPoint &pos) { m_d.pos = pos; }
    void setSize(const QSize &size) { m_d.size = size; }
    // Held as the display service will hold it (see Data::scaleStep).
    void setScale(double scale);
    void setRotation(Rotation rotation) { m_d.rotation = rotation; }
    void setExplicitLogicalSize(const QSizeF &size) { m_d.explicitLogicalSize = size; }
    void setCurrentModeId(const QString &id) { m_d.currentModeId = id; }
    void setCustomModes(const QList<ModeInfo> &modes) { m_d.customModes = modes; }
    void setReplicationSource(int outputId) { m_d.replicationSource = outputId; }
    void setHdrEnabled(bool enabled) { m_d.hdrEnabled = enabled; }
    void setWcgEnabled(bool enabled) { m_d.wcgEnabled = enabled; }
    void setAutomaticBrightness(bool enabled) { m_d.automaticBrightness = enabled; }
    void setDdcCiAllowed(bool allowed) { m_d.ddcCiAllowed = allowed; }
    void setSdrBrightness(uint32_t nits) { m_d.sdrBrightness = nits; }
    void setSdrGamutWideness(double wideness) { m_d.sdrGamutWideness = wideness; }
    void setBrightness(double brightness) { m_d.brightness = brightness; }
    void setDimming(double dimming) { m_d.dimming = dimming; }
    void setSharpness(double sharpness) { m_d.sharpness = sharpness; }
    void setMaxPeakBrightnessOverride(std::optional<double> nits) { m_d.maxPeakBrightnessOverride = nits; }
    void setMaxAverageBrightnessOverride(std::optional<double> nits) { m_d.maxAverageBrightnessOverride = nits; }
    void setMinBrightnessOverride(std::optional<double> value) { m_d.minBrightnessOverride = value; }
    void setIccProfilePath(const QString &path) { m_d.iccProfilePath = path; }
    void setHdrIccProfilePath(const QString &path) { m_d.hdrIccProfilePath = path; }
    void setColorProfileSource(ColorProfileSource source) { m_d.colorProfileSource = source; }
    void setHdrColorProfileSource(ColorProfileSource source) { m_d.hdrColorProfileSource = source; }
    void setColorPowerPreference(ColorPowerTradeoff tradeoff) { m_d.colorPowerPreference = tradeoff; }
    void setRgbRange(RgbRange range) { m_d.rgbRange = range; }
    void setVrrPolicy(VrrPolicy policy) { m_d.vrrPolicy = policy; }
    void setAutoRotatePolicy(AutoRotatePolicy policy) { m_d.autoRotatePolicy = policy; }
    void setEdrPolicy(EdrPolicy policy) { m_d.edrPolicy = policy; }
    void setOverscan(uint32_t overscan) { m_d.overscan = overscan; }
    void setAbmLevel(uint32_t level) { m_d.abmLevel = level; }
    void setMaxBitsPerColor(uint32_t bits) { m_d.maxBitsPerColor = bits; }

    // The whole state at once, read-only.
    const Data &data() const { return m_d; }

private:
    // The backends' write access, in the library's private headers.
    friend class OutputPrivate;

    Data m_d;
};

// Shared ownership within a snapshot and by the program.
using OutputPtr = QSharedPointer<Output>;
// Keyed by output id, walked in ascending id order.
using OutputList = QMap<int, OutputPtr>;

} // namespace Dispor

Q_DECLARE_OPERATORS_FOR_FLAGS(Dispor::Output::Capabilities)
