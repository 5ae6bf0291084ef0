#include "picture_cases.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

using namespace picture;

namespace {

const std::string settings = document(dp1Settings);

// The ICC signature sits at offset 36 of the header.
std::string iccProfile()
{
    std::string header(128, '\0');
    header.replace(36, 4, "acsp");
    return header;
}

// Runs the cases from inside dir, for relative profile paths.
class InDirectory {
public:
    explicit InDirectory(const std::string &dir)
    {
        char buffer[4096];
        m_old = ::getcwd(buffer, sizeof buffer) ? buffer : "/";
        EXPECT_EQ(::chdir(dir.c_str()), 0);
    }
    ~InDirectory() { EXPECT_EQ(::chdir(m_old.c_str()), 0); }

private:
    std::string m_old;
};

TEST(Color, IccProfilePathsAreHandedOnAsTyped)
{
    e2e::TempDir dir;
    ::mkdir(dir.file("~").c_str(), 0700);
    for (const char *name : {"a.icc", "~/a.icc"})
        e2e::writeFile(dir.file(name), iccProfile());
    e2e::writeFile(dir.file("b.txt"),
                   "not a profile, though long enough to hold the forty bytes of a header");
    const std::string absolute = dir.file("a.icc");
    InDirectory inside(dir.path());

    On(settings).expectChanges({
        {{"DP-1", "set-icc-profile", absolute}, {"DP-1.iccProfilePath=\"" + absolute + "\""}},
        {{"DP-1", "set-icc-profile", "a.icc"}, {"DP-1.iccProfilePath=\"a.icc\""}},
        {{"DP-1", "set-icc-profile", "~/a.icc"}, {"DP-1.iccProfilePath=\"~/a.icc\""}},
        {{"DP-1", "set-hdr-icc-profile", absolute}, {"DP-1.hdrIccProfilePath=\"" + absolute + "\""}},
        {{"DP-1", "set-hdr-icc-profile", "~/a.icc"}, {"DP-1.hdrIccProfilePath=\"~/a.icc\""}},
    });
    On(document(R"("iccProfilePath": "old.icc", "hdrIccProfilePath": "old-hdr.icc")"))
        .expectChanges({
            {{"DP-1", "set-icc-profile", ""}, {"DP-1.iccProfilePath=\"\""}},
            {{"DP-1", "set-hdr-icc-profile", ""}, {"DP-1.hdrIccProfilePath=\"\""}},
        });
    const std::string failed = "Failed to apply output configuration: DP-1: ";
    On(settings).expectRefusals({
        {{"DP-1", "set-icc-profile", "b.txt"},
         failed + R"(cannot set the ICC profile to "b.txt": the file is not an ICC profile)"},
        {{"DP-1", "set-hdr-icc-profile", "missing.icc"},
         failed +
             R"(cannot set the HDR ICC profile to "missing.icc": the file cannot be read: No such file or directory)"},
        {{"HDMI-A-1", "set-icc-profile", "a.icc"}, lacks("the ICC profile", "takes no ICC profile")},
        {{"HDMI-A-1", "set-hdr-icc-profile", "a.icc"},
         lacks("the HDR ICC profile", "takes no HDR ICC profile")},
    });
}

TEST(Color, ProfileSources)
{
    On(settings).expectChanges({
        {{"DP-1", "set-color-profile-source", "sRGB"}, {"DP-1.colorProfileSource=\"sRGB\""}},
        {{"DP-1", "set-color-profile-source", "ICC"}, {"DP-1.colorProfileSource=\"ICC\""}},
        {{"DP-1", "set-color-profile-source", "EDID"}, {}},
        // The HDR-mode source is its own property; the SDR one stays.
        {{"DP-1", "set-hdr-color-profile-source", "EDID"}, {"DP-1.hdrColorProfileSource=\"EDID\""}},
        {{"DP-1", "set-hdr-color-profile-source", "ICC"}, {}},
    });
    On(document(""))
        .expectChanges({
            {{"DP-1", "set-hdr-color-profile-source", "ICC"}, {"DP-1.hdrColorProfileSource=\"ICC\""}},
        });
    On(settings).expectRefusals({
        {{"DP-1", "set-color-profile-source", "srgb"}, "Invalid argument: srgb"},
        {{"DP-1", "set-color-profile-source", "Edid"}, "Invalid argument: Edid"},
        {{"DP-1", "set-hdr-color-profile-source", "sRGB"},
         "sRGB color profile source with the HDR mode is unsupported"},
        // The word is refused before the sRGB test.
        {{"DP-1", "set-hdr-color-profile-source", "srgb"}, "Invalid argument: srgb"},
        {{"HDMI-A-1", "set-hdr-color-profile-source", "sRGB"},
         "sRGB color profile source with the HDR mode is unsupported"},
        {{"HDMI-A-1", "set-color-profile-source", "ICC"},
         lacks("the colour profile source", "takes no ICC profile and has no built-in colour profile")},
        {{"HDMI-A-1", "set-hdr-color-profile-source", "ICC"},
         lacks("the HDR colour profile source", "takes no HDR ICC profile")},
    });
}

TEST(Color, TradeoffAndRgbRange)
{
    On(settings).expectChanges({
        {{"DP-1", "set-color-power-tradeoff", "prefer-efficiency"},
         {"DP-1.colorPowerPreference=\"prefer-efficiency\""}},
        {{"DP-1", "set-color-power-tradeoff", "prefer-accuracy"}, {}},
        {{"DP-1", "set-rgb-range", "limited"}, {"DP-1.rgbRange=\"limited\""}},
        {{"DP-1", "set-rgb-range", "automatic"}, {"DP-1.rgbRange=\"automatic\""}},
        {{"DP-1", "set-rgb-range", "full"}, {}},
    });
    On(document(""))
        .expectChanges({
            {{"DP-1", "set-color-power-tradeoff", "prefer-accuracy"},
             {"DP-1.colorPowerPreference=\"prefer-accuracy\""}},
            {{"DP-1", "set-rgb-range", "full"}, {"DP-1.rgbRange=\"full\""}},
            // The tradeoff needs no capability.
            {{"HDMI-A-1", "set-color-power-tradeoff", "prefer-accuracy"},
             {"HDMI-A-1.colorPowerPreference=\"prefer-accuracy\""}},
        });
    On(settings).expectRefusals({
        {{"DP-1", "set-color-power-tradeoff", "accuracy"}, "Invalid argument: accuracy"},
        {{"DP-1", "set-rgb-range", "Full"}, "Invalid argument: Full"},
        {{"DP-1", "set-rgb-range", "auto"}, "Invalid argument: auto"},
        {{"HDMI-A-1", "set-rgb-range", "limited"}, lacks("the RGB range", "has no RGB range setting")},
    });
}

// A calibrator that writes its argument count, arguments and working
// directory to a file beside itself, whole or not at all.
std::string installCalibrator(const e2e::TempDir &dir)
{
    const std::string program = dir.file("lustrometer");
    e2e::writeFile(program, "#!/bin/sh\n"
                            "{ echo \"$#\"; printf '%s\\n' \"$@\"; pwd; } > '" +
                                dir.file("args.tmp") +
                                "'\n"
                                "mv '" +
                                dir.file("args.tmp") + "' '" + dir.file("args") + "'\n");
    ::chmod(program.c_str(), 0755);
    return dir.file("args");
}

std::string waitForFile(const std::string &path)
{
    for (int i = 0; i < 300 && !e2e::fileExists(path); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return e2e::readFile(path);
}

TEST(Color, CalibrateHdrStartsTheCalibrator)
{
    const std::string hdrOn = document(R"("hdrEnabled": true)");
    for (const std::string spec : {"DP-1", "2", "3b1f8e2c-dp1"}) {
        SCOPED_TRACE(spec);
        e2e::TempDir bin;
        e2e::TempDir cwd;
        const std::string args = installCalibrator(bin);
        e2e::VirtualSet set(hdrOn);
        InDirectory inside(cwd.path());
        EXPECT_EQ(e2e::run(set, {spec, "calibrate-hdr"}, {{"PATH", bin.path() + ":/usr/bin:/bin"}}),
                  (e2e::Result{0, "", ""}));
        // The connector name, whatever named the output; the tool's own directory.
        EXPECT_EQ(waitForFile(args), "1\nDP-1\n" + cwd.path() + "\n");
        EXPECT_EQ(set.read(), hdrOn);
    }
}

TEST(Color, CalibrateHdrOnTheActiveOutput)
{
    const std::string hdrOn = document(R"("hdrEnabled": true)");
    e2e::SessionBus bus;
    e2e::Compositor vantor(bus, {"--active-output", "DP-1"});
    e2e::TempDir bin;
    const std::string args = installCalibrator(bin);
    e2e::VirtualSet set(hdrOn);
    EXPECT_EQ(
        e2e::run(set, bus, {"active-output", "calibrate-hdr"}, {{"PATH", bin.path() + ":/usr/bin:/bin"}}),
        (e2e::Result{0, "", ""}));
    EXPECT_TRUE(waitForFile(args).starts_with("1\nDP-1\n"));
    EXPECT_EQ(set.read(), hdrOn);
}

TEST(Color, CalibrateHdrRefusals)
{
    const std::string hdrOn = document(R"("hdrEnabled": true)");
    const std::string hdrOff = document("");
    e2e::TempDir bin;
    const std::string args = installCalibrator(bin);
    const e2e::Env withCalibrator = {{"PATH", bin.path() + ":/usr/bin:/bin"}};
    {
        e2e::VirtualSet set(hdrOff);
        EXPECT_EQ(e2e::run(set, {"2", "calibrate-hdr"}, withCalibrator),
                  (e2e::Result{1, "", "HDR is not active on output DP-1\n"}));
        EXPECT_EQ(e2e::run(set, {"HDMI-A-1", "calibrate-hdr"}, withCalibrator),
                  (e2e::Result{1, "", "HDR is not active on output HDMI-A-1\n"}));
        EXPECT_EQ(e2e::run(set, {"HDMI-9", "calibrate-hdr"}, withCalibrator),
                  (e2e::Result{1, "", "Unknown output: HDMI-9\n"}));
        EXPECT_EQ(set.read(), hdrOff);
    }
    {
        // No calibrator on the search path: a failed start, told only by the status.
        e2e::TempDir empty;
        e2e::VirtualSet set(hdrOn);
        EXPECT_EQ(e2e::run(set, {"DP-1", "calibrate-hdr"}, {{"PATH", empty.path()}}),
                  (e2e::Result{1, "", ""}));
        EXPECT_EQ(set.read(), hdrOn);
    }
    EXPECT_FALSE(e2e::fileExists(args));
}

} // namespace
