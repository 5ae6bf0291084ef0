#pragma once

#include "dispor/export.h"
#include "dispor/mode.h"

#include <QFlags>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QSizeF>

namespace Dispor {

// One output (a connector and what is plugged into it) as a snapshot holds
// it. Its enumerations are known to Qt's meta-object system: QDebug prints
// them by name. Getters read the snapshot; setters change only the snapshot, and
// SetConfigOperation applies what changed. Nothing here talks to a display
// server, blocks or fails: a value the output cannot take is refused when
// the change is applied. Shared through OutputPtr within its Config.
class DISPOR_EXPORT Output {
    Q_GADGET
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
    Q_ENUM(Type)

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
    Q_ENUM(Rotation)

    // Where the colour description comes from: plain sRGB, an ICC profile
    // file, or the display's EDID.
    enum class ColorProfileSource : uint32_t { sRGB = 0, ICC = 1, EDID = 2 };
    Q_ENUM(ColorProfileSource)
    enum class ColorPowerTradeoff : uint32_t { PreferEfficiency = 0, PreferAccuracy = 1 };
    Q_ENUM(ColorPowerTradeoff)
    enum class RgbRange : uint32_t { Automatic = 0, Full = 1, Limited = 2 };
    Q_ENUM(RgbRange)
    enum class VrrPolicy : uint32_t { Never = 0, Always = 1, Automatic = 2 };
    Q_ENUM(VrrPolicy)
    enum class AutoRotatePolicy : uint32_t { Never = 0, InTabletMode = 1, Always = 2 };
    Q_ENUM(AutoRotatePolicy)
    enum class EdrPolicy : uint32_t { Never = 0, Always = 1 };
    Q_ENUM(EdrPolicy)
    enum class DpmsMode : uint32_t { On = 0, Standby = 1, Suspend = 2, Off = 3 };
    Q_ENUM(DpmsMode)

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
    Q_ENUM(Capability)
    Q_DECLARE_FLAGS(Capabilities, Capability)
    Q_FLAG(Capabilities)

    // The bits per colour channel the output accepts.
    struct BpcRange {
        uint32_t min = 0;
        uint32_t max = 0;
        bool operator==(const BpcRange &other) const { return min == other.min && max == other.max; }
        bool operator!=(const BpcRange &other) const { return !(*this == other); }
    };

    // Everything the library knows of one output, as one value: what its
    // backends fill in. Defined in the library's private headers, so that
    // it can grow without a change of the ABI.
    struct Data;

    // An output of the default state (connected, enabled, no modes), for
    // programs and tests that build their own snapshots.
    Output();
    // An output of the given state, for the library and its backends.
    explicit Output(const Data &data);
    // Copies share the state until one of them changes.
    Output(const Output &other);
    Output(Output &&other) noexcept;
    Output &operator=(const Output &other);
    Output &operator=(Output &&other) noexcept;
    ~Output();

    // The backend's id: unique in a snapshot, stable while the output exists.
    int id() const;
    // The connector name, such as "DP-1"; text from the display server.
    QString name() const;
    // Stable across sessions where the backend can tell; may be empty.
    QString uuid() const;
    // The monitor's maker, model and serial number as its EDID or the
    // display server gives them (not the connector's): what identifies a
    // monitor whichever connector it is plugged into. Empty where unknown.
    QString make() const;
    QString model() const;
    QString serialNumber() const;
    Type type() const;
    // Part of the layout (shows a picture).
    bool isEnabled() const;
    // Something is plugged in.
    bool isConnected() const;
    // Rank among the enabled, connected outputs: 1 is primary, 0 none.
    uint32_t priority() const;
    // Top-left corner in the layout's logical coordinates.
    QPoint pos() const;
    // pos() and the logical size the layout uses.
    QRect geometry() const;
    // The pixel size: as set, else the current mode's size.
    QSize size() const;
    // The scale factor: 1.0 is 100%, 2.0 is 200%.
    double scale() const;
    Rotation rotation() const;
    // Whether pos(), currentMode(), scale() and rotation() are the
    // output's: always for an enabled output; for a disabled one, whether
    // the display service or the library remembers what it comes back
    // with. Where not, they are placeholders, and enabling the output lets
    // the service choose.
    bool isPlacementKnown() const;
    // The logical size set with setExplicitLogicalSize(), rounded, else
    // logicalSize().
    QSize explicitLogicalSizeInt() const;
    // size() divided by scale() as the display service derives it,
    // transposed for quarter turns.
    QSize logicalSize() const;
    // The modes the output offers, by id.
    ModeList modes() const;
    // The current and the preferred mode; null when there is none.
    ModePtr currentMode() const;
    ModePtr preferredMode() const;
    QString currentModeId() const;
    QString preferredModeId() const;
    // The modes a user added, in list order.
    QList<ModeInfo> customModes() const;
    Capabilities capabilities() const;
    // The id of the output this one mirrors; 0 when it mirrors none.
    int replicationSource() const;

    // HDR and colour: the values as the display service reports them.
    // Brightness and dimming are fractions (1.0 is 100%); the SDR
    // brightness and the peak and average luminances are in nits.
    bool isHdrEnabled() const;
    bool isWcgEnabled() const;
    bool automaticBrightness() const;
    bool ddcCiAllowed() const;
    uint32_t sdrBrightness() const;
    double sdrGamutWideness() const;
    double brightness() const;
    double dimming() const;
    double sharpness() const;
    double maxPeakBrightness() const;
    double maxAverageBrightness() const;
    double minBrightness() const;
    std::optional<double> maxPeakBrightnessOverride() const;
    std::optional<double> maxAverageBrightnessOverride() const;
    // In 1/10000 nit.
    std::optional<double> minBrightnessOverride() const;
    QString iccProfilePath() const;
    QString hdrIccProfilePath() const;
    ColorProfileSource colorProfileSource() const;
    ColorProfileSource hdrColorProfileSource() const;
    ColorPowerTradeoff colorPowerPreference() const;
    RgbRange rgbRange() const;
    VrrPolicy vrrPolicy() const;
    AutoRotatePolicy autoRotatePolicy() const;
    EdrPolicy edrPolicy() const;
    uint32_t overscan() const;
    uint32_t abmLevel() const;
    uint32_t maxBitsPerColor() const;
    uint32_t automaticMaxBitsPerColorLimit() const;
    BpcRange bitsPerColorRange() const;
    DpmsMode dpmsMode() const;

    // Setters change this snapshot only; SetConfigOperation applies it. They
    // take any value; the library or the display service refuses, when
    // applying, what the output cannot take (a mode id it lacks, a value
    // out of range, a missing capability), with a one-line reason.
    void setEnabled(bool enabled);
    void setPos(const QPoint &pos);
    void setSize(const QSize &size);
    // Held as the display service will hold it (in its steps, where it has
    // any).
    void setScale(double scale);
    void setRotation(Rotation rotation);
    void setExplicitLogicalSize(const QSizeF &size);
    void setCurrentModeId(const QString &id);
    void setCustomModes(const QList<ModeInfo> &modes);
    void setReplicationSource(int outputId);
    void setHdrEnabled(bool enabled);
    void setWcgEnabled(bool enabled);
    void setAutomaticBrightness(bool enabled);
    void setDdcCiAllowed(bool allowed);
    void setSdrBrightness(uint32_t nits);
    void setSdrGamutWideness(double wideness);
    void setBrightness(double brightness);
    void setDimming(double dimming);
    void setSharpness(double sharpness);
    void setMaxPeakBrightnessOverride(std::optional<double> nits);
    void setMaxAverageBrightnessOverride(std::optional<double> nits);
    void setMinBrightnessOverride(std::optional<double> value);
    void setIccProfilePath(const QString &path);
    void setHdrIccProfilePath(const QString &path);
    void setColorProfileSource(ColorProfileSource source);
    void setHdrColorProfileSource(ColorProfileSource source);
    void setColorPowerPreference(ColorPowerTradeoff tradeoff);
    void setRgbRange(RgbRange range);
    void setVrrPolicy(VrrPolicy policy);
    void setAutoRotatePolicy(AutoRotatePolicy policy);
    void setEdrPolicy(EdrPolicy policy);
    void setOverscan(uint32_t overscan);
    void setAbmLevel(uint32_t level);
    void setMaxBitsPerColor(uint32_t bits);

    // The whole state at once, read-only: for the library and its backends,
    // which see Data's definition.
    const Data &data() const;

private:
    // The backends' write access, in the library's private headers.
    friend class OutputPrivate;

    class Private;
    QSharedDataPointer<Private> d;
};

// Shared ownership within a snapshot and by the program.
using OutputPtr = QSharedPointer<Output>;
// Keyed by output id, walked in ascending id order.
using OutputList = QMap<int, OutputPtr>;

} // namespace Dispor

Q_DECLARE_OPERATORS_FOR_FLAGS(Dispor::Output::Capabilities)
