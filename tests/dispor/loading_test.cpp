// Reading documents: what is accepted, and the one line for each fault.

#include "support.h"

#include "../../dispor/src/virtual/document.h"

#include <cmath>

namespace dispor_test {
namespace {

const std::string typeList = "Unknown, VGA, DVI, DVII, DVIA, DVID, HDMI, Panel, TV, TVComposite, TVSVideo, "
                             "TVComponent, TVSCART, TVC4, DisplayPort";
const std::string capabilityList = "overscan, vrr, rgb-range, hdr, wcg, auto-rotate, icc, brightness, "
                                   "builtin-color-profile, ddc-ci, maxbpc, edr, sharpness, custom-modes, "
                                   "auto-brightness, hdr-icc, disable, abm";
const std::string mode1 = R"("modes": [{"id": "1", "width": 1920, "height": 1080, "refreshRate": 60.0}])";

struct Malformed {
    const char *name;
    std::string document;
    std::string fault;
};

TEST(Loading, MalformedDocumentsAreRefusedWithOneLineNamingFileAndFault)
{
    const std::string a = output(1, "A");
    const Malformed cases[] = {
        {"not JSON", "{", "not valid JSON: unterminated object at offset 1"},
        {"garbage after", R"({"outputs": []} x)",
         "not valid JSON: garbage at the end of the document at offset 16"},
        {"bad UTF-8", "{\"outputs\": [{\"id\": 1, \"name\": \"\xc3\x28\"}]}",
         "not valid JSON: invalid UTF8 string at offset 32"},
        {"too deep", "{\"outputs\": " + std::string(2000, '[') + std::string(2000, ']') + "}",
         "not valid JSON: too deeply nested document at offset 1036"},
        {"array at the top", "[]", "the document must be a JSON object"},
        {"no outputs", "{}", "\"outputs\" is missing"},
        {"outputs not an array", R"({"outputs": {}})", "\"outputs\" must be an array, not an object"},
        {"unknown top-level key", R"({"outputs": [], "extra": 1})", "unknown key \"extra\" at the top level"},
        {"duplicate top-level key", R"({"outputs": [], "outputs": []})",
         "the document has the key \"outputs\" twice"},
        {"output not an object", document("1"), "\"outputs[0]\" must be an object, not 1"},
        {"no name", document(R"({"id": 1})"), "outputs[0]: \"name\" is missing"},
        {"empty name", document(R"({"id": 1, "name": ""})"),
         "outputs[0]: \"name\" must be a non-empty string, not \"\""},
        {"name not a string", document(R"({"id": 1, "name": 5})"),
         "outputs[0]: \"name\" must be a non-empty string, not 5"},
        {"no id", document(R"({"name": "A"})"), "output \"A\": \"id\" is missing"},
        {"id zero", document(output(0, "A")),
         "output \"A\": \"id\" must be an integer from 1 to 2147483647, not 0"},
        {"id fraction", document(R"({"id": 1.5, "name": "A"})"),
         "output \"A\": \"id\" must be an integer from 1 to 2147483647, not 1.5"},
        {"id string", document(R"({"id": "1", "name": "A"})"),
         "output \"A\": \"id\" must be an integer from 1 to 2147483647, not \"1\""},
        {"id too large", document(R"({"id": 1e10, "name": "A"})"),
         "output \"A\": \"id\" must be an integer from 1 to 2147483647, not 10000000000"},
        {"duplicate id", document(a + "," + output(1, "B")), "outputs \"A\" and \"B\" have the same id 1"},
        {"duplicate name", document(a + "," + output(2, "A")),
         "outputs[0] and outputs[1] have the same name \"A\""},
        {"unknown key", document(output(1, "A", R"("colour": "red")")),
         "output \"A\": unknown key \"colour\""},
        {"duplicate key", document(output(1, "A", R"("enabled": true, "enabled": false)")),
         "\"outputs[0]\" has the key \"enabled\" twice"},
        {"duplicate key in a mode",
         document(output(1, "A",
                         R"("modes": [{"id": "1", "id": "2", "width": 1, "height": 1, "refreshRate": 1}])")),
         "\"outputs[0].modes[0]\" has the key \"id\" twice"},
        {"bool as word", document(output(1, "A", R"("enabled": "yes")")),
         "output \"A\": \"enabled\" must be true or false, not \"yes\""},
        {"priority negative", document(output(1, "A", R"("priority": -1)")),
         "output \"A\": \"priority\" must be an integer from 0 to 4294967295, not -1"},
        {"priority too large", document(output(1, "A", R"("priority": 4294967296)")),
         "output \"A\": \"priority\" must be an integer from 0 to 4294967295, not 4294967296"},
        {"unknown type", document(output(1, "A", R"("type": "Laptop")")),
         "output \"A\": \"type\" must be one of " + typeList + ", not \"Laptop\""},
        {"rotation word", document(output(1, "A", R"("rotation": "left")")),
         "output \"A\": \"rotation\" must be one of normal, 90, 180, 270, flipped, flipped90, flipped180, "
         "flipped270, not \"left\""},
        {"scale zero", document(output(1, "A", R"("scale": 0)")),
         "output \"A\": \"scale\" must be greater than 0, not 0"},
        {"scale text", document(output(1, "A", R"("scale": "2")")),
         "output \"A\": \"scale\" must be a number, not \"2\""},
        {"brightness above 1", document(output(1, "A", R"("brightness": 1.5)")),
         "output \"A\": \"brightness\" must be from 0 to 1, not 1.5"},
        {"sharpness below 0", document(output(1, "A", R"("sharpness": -0.1)")),
         "output \"A\": \"sharpness\" must be from 0 to 1, not -0.1"},
        {"gamut above 1", document(output(1, "A", R"("sdrGamutWideness": 2)")),
         "output \"A\": \"sdrGamutWideness\" must be from 0 to 1, not 2"},
        {"sdr brightness fraction", document(output(1, "A", R"("sdrBrightness": 200.5)")),
         "output \"A\": \"sdrBrightness\" must be an integer from 0 to 4294967295, not 200.5"},
        {"negative luminance", document(output(1, "A", R"("minBrightness": -1)")),
         "output \"A\": \"minBrightness\" must be at least 0, not -1"},
        {"override word", document(output(1, "A", R"("maxPeakBrightnessOverride": "none")")),
         "output \"A\": \"maxPeakBrightnessOverride\" must be a number or null, not \"none\""},
        {"pos lacks y", document(output(1, "A", R"("pos": {"x": 1})")), "output \"A\": \"pos.y\" is missing"},
        {"pos extra key", document(output(1, "A", R"("pos": {"x": 1, "y": 2, "z": 3})")),
         "output \"A\": unknown key \"z\" in \"pos\""},
        {"pos beyond int", document(output(1, "A", R"("pos": {"x": 2147483648, "y": 0})")),
         "output \"A\": \"pos.x\" must be an integer from -2147483648 to 2147483647, not 2147483648"},
        {"modes not an array", document(output(1, "A", R"("modes": {})")),
         "output \"A\": \"modes\" must be an array, not an object"},
        {"mode lacks rate", document(output(1, "A", R"("modes": [{"id": "1", "width": 1, "height": 1}])")),
         "output \"A\": \"modes[0].refreshRate\" is missing"},
        {"mode id number",
         document(output(1, "A", R"("modes": [{"id": 1, "width": 1, "height": 1, "refreshRate": 1}])")),
         "output \"A\": \"modes[0].id\" must be a string, not 1"},
        {"mode id empty",
         document(output(1, "A", R"("modes": [{"id": "", "width": 1, "height": 1, "refreshRate": 1}])")),
         "output \"A\": \"modes[0].id\" must be a non-empty string, not \"\""},
        {"duplicate mode id",
         document(output(1, "A", R"("modes": [{"id": "1", "width": 1, "height": 1, "refreshRate": 1},
                                              {"id": "1", "width": 2, "height": 2, "refreshRate": 1}])")),
         "output \"A\": \"modes\" has the id \"1\" twice"},
        {"mode width zero",
         document(output(1, "A", R"("modes": [{"id": "1", "width": 0, "height": 1, "refreshRate": 1}])")),
         "output \"A\": mode \"1\": \"width\" must be at least 1, not 0"},
        {"mode rate zero",
         document(output(1, "A", R"("modes": [{"id": "1", "width": 1, "height": 1, "refreshRate": 0}])")),
         "output \"A\": mode \"1\": \"refreshRate\" must be greater than 0, not 0"},
        {"current mode missing", document(output(1, "A", mode1 + R"(, "currentModeId": "9")")),
         "output \"A\": \"currentModeId\" \"9\" is not one of the output's modes"},
        {"current mode null", document(output(1, "A", mode1 + R"(, "currentModeId": null)")),
         "output \"A\": \"currentModeId\" must be a string, not null"},
        {"preferred mode missing", document(output(1, "A", R"("preferredModeId": "1")")),
         "output \"A\": \"preferredModeId\" \"1\" is not one of the output's modes"},
        {"size width zero", document(output(1, "A", R"("size": {"width": 0, "height": 1})")),
         "output \"A\": \"size.width\" must be at least 1, not 0"},
        {"logical size negative",
         document(output(1, "A", R"("explicitLogicalSize": {"width": -1, "height": 1})")),
         "output \"A\": \"explicitLogicalSize.width\" must be greater than 0, not -1"},
        {"unknown capability", document(output(1, "A", R"("capabilities": ["hdr", "teleport"])")),
         "output \"A\": \"capabilities[1]\" must be one of " + capabilityList + ", not \"teleport\""},
        {"capability twice", document(output(1, "A", R"("capabilities": ["hdr", "hdr"])")),
         "output \"A\": \"capabilities\" lists \"hdr\" twice"},
        {"replication of nothing", document(output(1, "A", R"("replicationSource": 9)")),
         "output \"A\": \"replicationSource\" 9 is no existing output"},
        {"replication of itself", document(output(1, "A", R"("replicationSource": 1)")),
         "output \"A\": \"replicationSource\" names the output itself"},
        {"replication negative", document(output(1, "A", R"("replicationSource": -1)")),
         "output \"A\": \"replicationSource\" must be an integer from 0 to 2147483647, not -1"},
        {"custom mode lacks flags",
         document(output(1, "A", R"("customModes": [{"width": 1, "height": 1, "refreshRate": 60}])")),
         "output \"A\": \"customModes[0].flags\" is missing"},
        {"custom mode rate zero",
         document(
             output(1, "A", R"("customModes": [{"width": 1, "height": 1, "refreshRate": 0, "flags": 1}])")),
         "output \"A\": \"customModes[0].refreshRate\" must be greater than 0, not 0"},
        {"custom mode rate beyond float",
         document(output(1, "A",
                         R"("customModes": [{"width": 1, "height": 1, "refreshRate": 1e39, "flags": 1}])")),
         "output \"A\": \"customModes[0].refreshRate\" 1e+39 is too large for a 32-bit floating-point "
         "number"},
        {"rate 1e300",
         document(output(1, "A", R"("modes": [{"id": "1", "width": 1, "height": 1, "refreshRate": 1e300}])")),
         "output \"A\": \"modes[0].refreshRate\" 1e+300 is too large for a 32-bit floating-point number"},
        {"rate that would be 0",
         document(
             output(1, "A", R"("modes": [{"id": "1", "width": 1, "height": 1, "refreshRate": 1e-300}])")),
         "output \"A\": \"modes[0].refreshRate\" 1e-300 is too small for a 32-bit floating-point number"},
        {"raw control in a string", "{\"outputs\": [{\"id\": 1, \"name\": \"A\x1b[2J\"}]}",
         "not valid JSON: a control character (0x1b) stands unescaped in a string at offset 33"},
        {"mirroring cycle of 2",
         document(output(1, "A", R"("replicationSource": 2)") + "," +
                  output(2, "B", R"("replicationSource": 1)")),
         "output \"A\": \"replicationSource\" 2 makes a cycle of 2 outputs that mirror one another"},
        {"mirroring cycle of 3 behind a chain",
         document(output(1, "A", R"("replicationSource": 2)") + "," +
                  output(2, "B", R"("replicationSource": 3)") + "," +
                  output(3, "C", R"("replicationSource": 4)") + "," +
                  output(4, "D", R"("replicationSource": 2)")),
         "output \"B\": \"replicationSource\" 3 makes a cycle of 3 outputs that mirror one another"},
        {"timings lack vtotal",
         document(output(1, "A", R"("customModes": [{"width": 1, "height": 1, "refreshRate": 60, "flags": 1,
             "timings": {"clock": 1, "hdisplay": 1, "hsyncStart": 1, "hsyncEnd": 1, "htotal": 1, "hskew": 0,
                         "vdisplay": 1, "vsyncStart": 1, "vsyncEnd": 1, "vscan": 1, "flags": 0}}])")),
         "output \"A\": \"customModes[0].timings.vtotal\" is missing"},
        {"timings beyond 16 bits",
         document(output(1, "A", R"("customModes": [{"width": 1, "height": 1, "refreshRate": 60, "flags": 1,
             "timings": {"clock": 1, "hdisplay": 70000, "hsyncStart": 1, "hsyncEnd": 1, "htotal": 1, "hskew": 0,
                         "vdisplay": 1, "vsyncStart": 1, "vsyncEnd": 1, "vtotal": 1, "vscan": 1, "flags": 0}}])")),
         "output \"A\": \"customModes[0].timings.hdisplay\" must be an integer from 0 to 65535, not 70000"},
        {"equal custom modes",
         document(output(1, "A", R"("customModes": [{"width": 1, "height": 1, "refreshRate": 60, "flags": 1},
                                                    {"width": 1, "height": 1, "refreshRate": 50, "flags": 1},
                                                    {"width": 1, "height": 1, "refreshRate": 60, "flags": 1}])")),
         "output \"A\": \"customModes[2]\" is the same as \"customModes[0]\""},
        {"logical size past 32 bits",
         document(output(1, "A", mode1 + R"(, "currentModeId": "1", "scale": 1e-7)")),
         "output \"A\": the logical size 19200000000x10800000000 (the size 1920x1080 at the scale 1e-07) "
         "does not "
         "fit 32-bit integers"},
        {"turned custom mode past 32 bits",
         document(output(
             1, "A", R"("customModes": [{"width": 2147483647, "height": 9, "refreshRate": 60, "flags": 1}],
             "currentModeId": "custom-2147483647x9@60.00", "rotation": "90", "scale": 0.5)")),
         "output \"A\": the logical size 18x4294967294 (the size 2147483647x9 at the scale 0.5) does not fit "
         "32-bit "
         "integers"},
        {"explicit logical size past 32 bits",
         document(output(1, "A", R"("explicitLogicalSize": {"width": 3e9, "height": 1080})")),
         "output \"A\": \"explicitLogicalSize\" 3000000000x1080 does not fit 32-bit integers"},
        {"right edge past 32 bits",
         document(output(1, "A", R"("pos": {"x": 2147483647, "y": 0}, "size": {"width": 2, "height": 1})")),
         "output \"A\": \"pos\" 2147483647,0 with the logical size 2x1 puts an edge outside 32-bit integers"},
        {"empty output at the least position",
         document(output(
             1, "A",
             R"("pos": {"x": -2147483648, "y": 0}, "explicitLogicalSize": {"width": 0.25, "height": 1})")),
         "output \"A\": \"pos\" -2147483648,0 with the logical size 0x1 puts an edge outside 32-bit "
         "integers"},
        {"unknown dpms word", document(output(1, "A", R"("dpms": "sleep")")),
         "output \"A\": \"dpms\" must be one of on, standby, suspend, off, not \"sleep\""},
        {"uuid number", document(output(1, "A", R"("uuid": 3)")),
         "output \"A\": \"uuid\" must be a string, not 3"},
        {"bpc range lacks max", document(output(1, "A", R"("bitsPerColorRange": {"min": 6})")),
         "output \"A\": \"bitsPerColorRange.max\" is missing"},
        {"unknown policy", document(output(1, "A", R"("vrrPolicy": "sometimes")")),
         "output \"A\": \"vrrPolicy\" must be one of never, always, automatic, not \"sometimes\""},
    };
    for (const Malformed &c : cases) {
        SCOPED_TRACE(c.name);
        VirtualSet set(c.document);
        const Fetched fetched = fetchCapturing();
        EXPECT_FALSE(fetched.config);
        EXPECT_EQ(fetched.err, "dispor: " + set.path() + ": " + c.fault + "\n");
    }
}

TEST(Loading, EmptyHugeAndNonFileDocumentsAreRefused)
{
    {
        VirtualSet set;
        writeFile(set.path(), "");
        const Fetched fetched = fetchCapturing();
        EXPECT_FALSE(fetched.config);
        EXPECT_EQ(fetched.err, "dispor: " + set.path() + ": the document is empty\n");
    }
    {
        // A sparse 50 MB file: refused by its size, never read or parsed.
        VirtualSet set;
        writeFile(set.path(), "{");
        ASSERT_EQ(::truncate(set.path().c_str(), 50 * 1000 * 1000), 0);
        const Fetched fetched = fetchCapturing();
        EXPECT_FALSE(fetched.config);
        EXPECT_EQ(fetched.err, "dispor: " + set.path() + ": the document is larger than 16 MiB\n");
    }
    {
        VirtualSet set;
        ASSERT_EQ(::mkdir(set.path().c_str(), 0700), 0);
        const Fetched fetched = fetchCapturing();
        EXPECT_FALSE(fetched.config);
        EXPECT_EQ(fetched.err, "dispor: " + set.path() + ": is a directory, not a document\n");
    }
    {
        // A named pipe must not block the reader.
        VirtualSet set;
        ASSERT_EQ(::mkfifo(set.path().c_str(), 0600), 0);
        const Fetched fetched = fetchCapturing();
        EXPECT_FALSE(fetched.config);
        EXPECT_EQ(fetched.err, "dispor: " + set.path() + ": is not a regular file\n");
    }
}

TEST(Loading, DefaultsFillWhatADocumentLeavesOut)
{
    VirtualSet set(document(output(4, "X")));
    const Dispor::ConfigPtr config = fetch();
    ASSERT_TRUE(config);
    const Dispor::OutputPtr x = config->output(4);
    ASSERT_TRUE(x);
    EXPECT_EQ(x->name(), "X");
    EXPECT_EQ(x->uuid(), "");
    EXPECT_EQ(x->type(), Dispor::Output::Type::Unknown);
    EXPECT_TRUE(x->isEnabled());
    EXPECT_TRUE(x->isConnected());
    EXPECT_EQ(x->priority(), 0u);
    EXPECT_EQ(x->pos(), QPoint(0, 0));
    EXPECT_TRUE(x->modes().isEmpty());
    EXPECT_FALSE(x->currentMode());
    EXPECT_FALSE(x->preferredMode());
    EXPECT_EQ(x->size(), QSize(0, 0)) << "neither size nor mode: no area";
    EXPECT_EQ(x->scale(), 1.0);
    EXPECT_EQ(x->rotation(), Dispor::Output::Rotation::None);
    EXPECT_EQ(x->capabilities(), Dispor::Output::Capabilities());
    EXPECT_FALSE(x->isHdrEnabled());
    EXPECT_FALSE(x->isWcgEnabled());
    EXPECT_FALSE(x->automaticBrightness());
    EXPECT_FALSE(x->ddcCiAllowed());
    EXPECT_EQ(x->sdrBrightness(), 200u);
    EXPECT_EQ(x->sdrGamutWideness(), 0.0);
    EXPECT_EQ(x->brightness(), 1.0);
    EXPECT_EQ(x->dimming(), 1.0);
    EXPECT_EQ(x->sharpness(), 0.0);
    EXPECT_EQ(x->maxPeakBrightness(), 0.0);
    EXPECT_EQ(x->maxAverageBrightness(), 0.0);
    EXPECT_EQ(x->minBrightness(), 0.0);
    EXPECT_FALSE(x->maxPeakBrightnessOverride());
    EXPECT_FALSE(x->maxAverageBrightnessOverride());
    EXPECT_FALSE(x->minBrightnessOverride());
    EXPECT_EQ(x->iccProfilePath(), "");
    EXPECT_EQ(x->hdrIccProfilePath(), "");
    EXPECT_EQ(x->colorProfileSource(), Dispor::Output::ColorProfileSource::sRGB);
    EXPECT_EQ(x->hdrColorProfileSource(), Dispor::Output::ColorProfileSource::EDID);
    EXPECT_EQ(x->colorPowerPreference(), Dispor::Output::ColorPowerTradeoff::PreferEfficiency);
    EXPECT_EQ(x->rgbRange(), Dispor::Output::RgbRange::Automatic);
    EXPECT_EQ(x->vrrPolicy(), Dispor::Output::VrrPolicy::Automatic);
    EXPECT_EQ(x->autoRotatePolicy(), Dispor::Output::AutoRotatePolicy::InTabletMode);
    EXPECT_EQ(x->edrPolicy(), Dispor::Output::EdrPolicy::Never);
    EXPECT_EQ(x->overscan(), 0u);
    EXPECT_EQ(x->abmLevel(), 0u);
    EXPECT_EQ(x->maxBitsPerColor(), 0u);
    EXPECT_EQ(x->automaticMaxBitsPerColorLimit(), 0u);
    EXPECT_EQ(x->bitsPerColorRange(), (Dispor::Output::BpcRange{0, 0}));
    EXPECT_EQ(x->replicationSource(), 0);
    EXPECT_TRUE(x->customModes().isEmpty());
    EXPECT_EQ(x->dpmsMode(), Dispor::Output::DpmsMode::On);
}

// Every key with a value other than its default.
const char *fullOutput = R"({
    "id": 7, "name": "DP-3", "uuid": "u-7", "make": "DEL", "model": "DELL U2720Q", "serialNumber": "7XK2M83",
    "type": "DisplayPort", "enabled": false, "connected": true,
    "priority": 0, "pos": {"x": -10, "y": 20},
    "modes": [{"id": "a", "width": 2560, "height": 1440, "refreshRate": 143.91},
              {"id": "b", "width": 1920, "height": 1080, "refreshRate": 60}],
    "currentModeId": "b", "preferredModeId": "a", "size": {"width": 1000, "height": 500}, "scale": 1.75,
    "rotation": "flipped270", "explicitLogicalSize": {"width": 285.5, "height": 571.25},
    "capabilities": ["abm", "hdr", "custom-modes"], "hdrEnabled": true, "wcgEnabled": true,
    "automaticBrightness": true, "ddcCiAllowed": true, "sdrBrightness": 350, "sdrGamutWideness": 0.25,
    "brightness": 0.5, "dimming": 0.75, "sharpness": 0.125, "maxPeakBrightness": 1000,
    "maxAverageBrightness": 600.5, "minBrightness": 0.01, "maxPeakBrightnessOverride": 800,
    "maxAverageBrightnessOverride": null, "minBrightnessOverride": 500, "iccProfilePath": "/p/a.icc",
    "hdrIccProfilePath": "/p/b \"c\".icc", "colorProfileSource": "ICC", "hdrColorProfileSource": "ICC",
    "colorPowerPreference": "prefer-accuracy", "rgbRange": "limited", "vrrPolicy": "always",
    "autoRotatePolicy": "never", "edrPolicy": "always", "overscan": 5, "abmLevel": 3, "maxBitsPerColor": 10,
    "automaticMaxBitsPerColorLimit": 8, "bitsPerColorRange": {"min": 6, "max": 16}, "replicationSource": 1,
    "customModes": [{"width": 1280, "height": 720, "refreshRate": 50, "flags": 3},
                    {"width": 3840, "height": 2160, "refreshRate": 59.981, "flags": 1,
                     "timings": {"clock": 712750, "hdisplay": 3840, "hsyncStart": 4160, "hsyncEnd": 4576,
                                 "htotal": 5312, "hskew": 0, "vdisplay": 2160, "vsyncStart": 2163,
                                 "vsyncEnd": 2168, "vtotal": 2237, "vscan": 1, "flags": 6}}],
    "dpms": "suspend"
})";

TEST(Loading, EveryKeyIsRead)
{
    VirtualSet set(document(output(1, "eDP-1") + "," + fullOutput));
    const Dispor::ConfigPtr config = fetch();
    ASSERT_TRUE(config);
    const Dispor::OutputPtr x = config->output(7);
    ASSERT_TRUE(x);
    using O = Dispor::Output;
    EXPECT_EQ(x->uuid(), "u-7");
    EXPECT_EQ((QStringList{x->make(), x->model(), x->serialNumber()}),
              (QStringList{"DEL", "DELL U2720Q", "7XK2M83"}));
    EXPECT_EQ((QStringList{config->output(1)->make(), config->output(1)->model(),
                           config->output(1)->serialNumber()}),
              (QStringList{{}, {}, {}}));
    EXPECT_EQ(x->type(), O::Type::DisplayPort);
    EXPECT_FALSE(x->isEnabled());
    EXPECT_EQ(x->pos(), QPoint(-10, 20));
    EXPECT_EQ(x->currentModeId(), "b");
    EXPECT_EQ(x->preferredMode()->refreshRate(), 143.91f);
    EXPECT_EQ(x->size(), QSize(1000, 500));
    EXPECT_EQ(x->scale(), 1.75);
    EXPECT_EQ(x->rotation(), O::Rotation::Flipped270);
    EXPECT_EQ(x->explicitLogicalSizeInt(), QSize(286, 571));
    EXPECT_EQ(x->capabilities(),
              O::Capability::Abm | O::Capability::HighDynamicRange | O::Capability::CustomModes);
    EXPECT_TRUE(x->isHdrEnabled());
    EXPECT_TRUE(x->isWcgEnabled());
    EXPECT_TRUE(x->automaticBrightness());
    EXPECT_TRUE(x->ddcCiAllowed());
    EXPECT_EQ(x->sdrBrightness(), 350u);
    EXPECT_EQ(x->sdrGamutWideness(), 0.25);
    EXPECT_EQ(x->brightness(), 0.5);
    EXPECT_EQ(x->dimming(), 0.75);
    EXPECT_EQ(x->sharpness(), 0.125);
    EXPECT_EQ(x->maxPeakBrightness(), 1000.0);
    EXPECT_EQ(x->maxAverageBrightness(), 600.5);
    EXPECT_EQ(x->minBrightness(), 0.01);
    EXPECT_EQ(x->maxPeakBrightnessOverride(), 800.0);
    EXPECT_FALSE(x->maxAverageBrightnessOverride());
    EXPECT_EQ(x->minBrightnessOverride(), 500.0);
    EXPECT_EQ(x->iccProfilePath(), "/p/a.icc");
    EXPECT_EQ(x->hdrIccProfilePath(), "/p/b \"c\".icc");
    EXPECT_EQ(x->colorProfileSource(), O::ColorProfileSource::ICC);
    EXPECT_EQ(x->hdrColorProfileSource(), O::ColorProfileSource::ICC);
    EXPECT_EQ(x->colorPowerPreference(), O::ColorPowerTradeoff::PreferAccuracy);
    EXPECT_EQ(x->rgbRange(), O::RgbRange::Limited);
    EXPECT_EQ(x->vrrPolicy(), O::VrrPolicy::Always);
    EXPECT_EQ(x->autoRotatePolicy(), O::AutoRotatePolicy::Never);
    EXPECT_EQ(x->edrPolicy(), O::EdrPolicy::Always);
    EXPECT_EQ(x->overscan(), 5u);
    EXPECT_EQ(x->abmLevel(), 3u);
    EXPECT_EQ(x->maxBitsPerColor(), 10u);
    EXPECT_EQ(x->automaticMaxBitsPerColorLimit(), 8u);
    EXPECT_EQ(x->bitsPerColorRange(), (O::BpcRange{6, 16}));
    EXPECT_EQ(x->replicationSource(), 1);
    ASSERT_EQ(x->customModes().size(), 2);
    EXPECT_EQ(x->customModes()[0], (Dispor::ModeInfo{1280, 720, 50.0f, 3, std::nullopt}));
    const Dispor::ModeTimings timings{712750, 3840, 4160, 4576, 5312, 0, 2160, 2163, 2168, 2237, 1, 6};
    EXPECT_EQ(x->customModes()[1], (Dispor::ModeInfo{3840, 2160, 59.981f, 1, timings}));
    EXPECT_EQ(x->dpmsMode(), O::DpmsMode::Suspend);
}

TEST(Loading, AcceptedOddities)
{
    // Integral numbers written as fractions or exponents are integers; null
    // clears an override; an empty set of outputs is a set.
    VirtualSet set(document(output(1, "A", R"("priority": 1.0, "pos": {"x": 1e3, "y": -0.0},
                                             "minBrightnessOverride": null)")));
    const Dispor::ConfigPtr config = fetch();
    ASSERT_TRUE(config);
    EXPECT_EQ(config->output(1)->priority(), 1u);
    EXPECT_EQ(config->output(1)->pos(), QPoint(1000, 0));
    EXPECT_FALSE(config->output(1)->minBrightnessOverride());

    set.write(R"({"outputs": []})");
    const Dispor::ConfigPtr empty = fetch();
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->outputs().isEmpty());
}

TEST(Document, WrittenDocumentsReadBackToTheSameDocument)
{
    using namespace Dispor::Virtual;
    const QByteArray text =
        QByteArray("{\"outputs\": [") + fullOutput + "," + output(1, "eDP-1").c_str() + "]}";
    Outputs outputs;
    QString fault;
    ASSERT_TRUE(parseDocument(text, &outputs, &fault)) << fault.toStdString();
    const QByteArray written = writeDocument(outputs);
    Outputs again;
    ASSERT_TRUE(parseDocument(written, &again, &fault)) << fault.toStdString() << "\n"
                                                        << written.toStdString();
    EXPECT_EQ(writeDocument(again), written);
    ASSERT_EQ(again.size(), 2);
    EXPECT_EQ(again[0].id, 7) << "document order is kept";
    EXPECT_EQ(again[0].hdrIccProfilePath, "/p/b \"c\".icc");
    EXPECT_EQ(again[0].modes.value("a")->refreshRate(), 143.91f);
    EXPECT_EQ(again[0].customModes, outputs[0].customModes);

    const Outputs defaults = defaultSet();
    ASSERT_TRUE(parseDocument(writeDocument(defaults), &again, &fault)) << fault.toStdString();
    EXPECT_EQ(writeDocument(again), writeDocument(defaults));
}

TEST(Document, WrittenFormIsIndentedInTableOrderWithoutDefaults)
{
    using namespace Dispor::Virtual;
    Outputs outputs;
    QString fault;
    ASSERT_TRUE(parseDocument(R"({"outputs": [{"name": "A", "id": 1, "brightness": 0.5, "scale": 1,
        "modes": [{"id": "1", "width": 1920, "height": 1080, "refreshRate": 60}],
        "currentModeId": "1", "size": {"width": 1920, "height": 1080}, "pos": {"x": 0, "y": 0}}]})",
                              &outputs, &fault));
    EXPECT_EQ(writeDocument(outputs).toStdString(), R"({
    "outputs": [
        {
            "id": 1,
            "name": "A",
            "modes": [
                { "id": "1", "width": 1920, "height": 1080, "refreshRate": 60.0 }
            ],
            "currentModeId": "1",
            "brightness": 0.5
        }
    ]
}
)");
    EXPECT_EQ(writeDocument({}).toStdString(), "{\n    \"outputs\": []\n}\n");
}

} // namespace
} // namespace dispor_test
