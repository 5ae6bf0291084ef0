#include "picture_cases.h"

using namespace picture;

namespace {

const std::string settings = document(dp1Settings);

std::string withHdr(bool hdr, bool wcg)
{
    return document(std::string(R"("hdrEnabled": )") + (hdr ? "true" : "false") + R"(, "wcgEnabled": )" +
                    (wcg ? "true" : "false"));
}

TEST(Hdr, Switches)
{
    const std::string off = withHdr(false, false);
    On(off).expectChanges({
        {{"DP-1", "set-hdr", "on"}, {"DP-1.hdrEnabled=true"}},
        {{"DP-1", "set-hdr", "true"}, {"DP-1.hdrEnabled=true"}},
        {{"DP-1", "set-wcg", "on"}, {"DP-1.wcgEnabled=true"}},
        {{"DP-1", "set-hdr-and-wcg", "true"}, {"DP-1.hdrEnabled=true", "DP-1.wcgEnabled=true"}},
        {{"DP-1", "set-hdr-and-wcg", "off"}, {}},
        {{"DP-1", "toggle-hdr"}, {"DP-1.hdrEnabled=true"}},
        {{"DP-1", "toggle-wcg"}, {"DP-1.wcgEnabled=true"}},
        {{"DP-1", "toggle-hdr-and-wcg"}, {"DP-1.hdrEnabled=true", "DP-1.wcgEnabled=true"}},
    });
    On(withHdr(true, true))
        .expectChanges({
            {{"DP-1", "set-hdr", "off"}, {"DP-1.hdrEnabled=false"}},
            {{"DP-1", "set-wcg", "false"}, {"DP-1.wcgEnabled=false"}},
            {{"DP-1", "set-hdr-and-wcg", "off"}, {"DP-1.hdrEnabled=false", "DP-1.wcgEnabled=false"}},
            {{"DP-1", "toggle-hdr"}, {"DP-1.hdrEnabled=false"}},
            {{"DP-1", "toggle-wcg"}, {"DP-1.wcgEnabled=false"}},
            {{"DP-1", "toggle-hdr-and-wcg"}, {"DP-1.hdrEnabled=false", "DP-1.wcgEnabled=false"}},
        });
    // Either one on turns both off.
    On(withHdr(true, false))
        .expectChanges({
            {{"DP-1", "toggle-hdr-and-wcg"}, {"DP-1.hdrEnabled=false"}},
            {{"DP-1", "set-hdr-and-wcg", "on"}, {"DP-1.wcgEnabled=true"}},
        });
    On(withHdr(false, true))
        .expectChanges({
            {{"DP-1", "toggle-hdr-and-wcg"}, {"DP-1.wcgEnabled=false"}},
        });
    On(off).expectRefusals({
        {{"DP-1", "set-hdr", "On"}, "Invalid argument: On"},
        {{"DP-1", "set-wcg", "yes"}, "Invalid argument: yes"},
        {{"DP-1", "set-hdr-and-wcg", "TRUE"}, "Invalid argument: TRUE"},
        {{"Active-Output", "toggle-hdr"}, "Unknown output: Active-Output"},
        {{"HDMI-A-1", "set-hdr", "on"}, lacks("HDR", "has no HDR support")},
        {{"HDMI-A-1", "set-wcg", "on"}, lacks("wide colour gamut", "has no wide colour gamut support")},
        {{"HDMI-A-1", "toggle-hdr-and-wcg"}, lacks("HDR", "has no HDR support")},
    });
}

TEST(Hdr, SdrBrightnessAndGamut)
{
    On(settings).expectChanges({
        {{"DP-1", "set-sdr-brightness", "50"}, {"DP-1.sdrBrightness=50"}},
        {{"DP-1", "set-sdr-brightness", "10000"}, {"DP-1.sdrBrightness=10000"}},
        {{"DP-1", "set-sdr-brightness", "+450"}, {"DP-1.sdrBrightness=450"}},
        {{"DP-1", "set-sdr-gamut", "100"}, {"DP-1.sdrGamutWideness=1"}},
        {{"DP-1", "set-sdr-gamut", "0"}, {"DP-1.sdrGamutWideness=0"}},
        {{"DP-1", "set-sdr-gamut", "55"}, {"DP-1.sdrGamutWideness=0.55"}},
    });
    // Accepted while HDR is off.
    On(withHdr(false, false))
        .expectChanges({
            {{"DP-1", "set-sdr-brightness", "400"}, {"DP-1.sdrBrightness=400"}},
        });
    On(settings).expectRefusals({
        {{"DP-1", "set-sdr-brightness", "49"}, "Allowed range for sdr-brightness is 50 to 10000"},
        {{"DP-1", "set-sdr-brightness", "0"}, "Allowed range for sdr-brightness is 50 to 10000"},
        {{"DP-1", "set-sdr-brightness", "10001"}, "Allowed range for sdr-brightness is 50 to 10000"},
        {{"DP-1", "set-sdr-brightness", "-4294967000"}, "Invalid argument: -4294967000"},
        {{"DP-1", "set-sdr-brightness", "200.5"}, "Invalid argument: 200.5"},
        {{"DP-1", "set-sdr-gamut", "101"}, "Allowed range for sdr-gamut is 0 to 100"},
        {{"DP-1", "set-sdr-gamut", "-1"}, "Allowed range for sdr-gamut is 0 to 100"},
        {{"DP-1", "set-sdr-gamut", "50%"}, "Invalid argument: 50%"},
        {{"HDMI-A-1", "set-sdr-brightness", "400"}, lacks("the SDR brightness", "has no HDR support")},
        {{"HDMI-A-1", "set-sdr-gamut", "50"}, lacks("the SDR gamut", "has no HDR support")},
    });
}

TEST(Hdr, LuminanceOverrides)
{
    On(settings).expectChanges({
        {{"DP-1", "set-max-peak-brightness-override", "none"}, {"DP-1.maxPeakBrightnessOverride=null"}},
        {{"DP-1", "set-max-peak-brightness-override", "1000"}, {"DP-1.maxPeakBrightnessOverride=1000"}},
        {{"DP-1", "set-max-peak-brightness-override", "10000"}, {"DP-1.maxPeakBrightnessOverride=10000"}},
        {{"DP-1", "set-max-average-brightness-override", "none"}, {"DP-1.maxAverageBrightnessOverride=null"}},
        // In nits like the max-peak override, not scaled down.
        {{"DP-1", "set-max-average-brightness-override", "400"}, {"DP-1.maxAverageBrightnessOverride=400"}},
        {{"DP-1", "set-max-average-brightness-override", "10000"},
         {"DP-1.maxAverageBrightnessOverride=10000"}},
        {{"DP-1", "set-min-brightness-override", "none"}, {"DP-1.minBrightnessOverride=null"}},
        // Zero is an override, not a cleared one.
        {{"DP-1", "set-min-brightness-override", "0"}, {"DP-1.minBrightnessOverride=0"}},
        {{"DP-1", "set-min-brightness-override", "500"}, {"DP-1.minBrightnessOverride=500"}},
    });
    // Clearing what is not set still applies.
    On(document(""))
        .expectChanges({
            {{"DP-1", "set-max-peak-brightness-override", "none"}, {}},
            {{"HDMI-A-1", "set-min-brightness-override", "none"}, {}},
            {{"DP-1", "set-max-peak-brightness-override", "0"}, {"DP-1.maxPeakBrightnessOverride=0"}},
        });
    On(settings).expectRefusals({
        {{"DP-1", "set-max-peak-brightness-override", "10001"},
         "Allowed range for max-peak-brightness-override is 0 to 10000"},
        {{"DP-1", "set-max-peak-brightness-override", "-1"},
         "Allowed range for max-peak-brightness-override is 0 to 10000"},
        {{"DP-1", "set-max-peak-brightness-override", "None"}, "Invalid argument: None"},
        {{"DP-1", "set-max-average-brightness-override", "10001"},
         "Allowed range for max-average-brightness-override is 0 to 10000"},
        {{"DP-1", "set-max-average-brightness-override", "400.5"}, "Invalid argument: 400.5"},
        {{"DP-1", "set-min-brightness-override", "-5"},
         "Allowed range for min-brightness-override is 0 to 10000"},
        {{"DP-1", "set-min-brightness-override", ""}, "Invalid argument: "},
        {{"HDMI-A-1", "set-max-peak-brightness-override", "600"},
         lacks("the maximum peak brightness override", "has no HDR support")},
        {{"HDMI-A-1", "set-max-average-brightness-override", "600"},
         lacks("the maximum average brightness override", "has no HDR support")},
        {{"HDMI-A-1", "set-min-brightness-override", "600"},
         lacks("the minimum brightness override", "has no HDR support")},
    });
}

TEST(Hdr, EdrPolicy)
{
    On(document(""))
        .expectChanges({
            {{"DP-1", "set-edr-policy", "always"}, {"DP-1.edrPolicy=\"always\""}},
            {{"DP-1", "set-edr-policy", "never"}, {}},
        });
    On(settings).expectChanges({
        {{"DP-1", "set-edr-policy", "never"}, {"DP-1.edrPolicy=\"never\""}},
    });
    On(settings).expectRefusals({
        {{"DP-1", "set-edr-policy", "automatic"}, "Invalid argument: automatic"},
        {{"DP-1", "set-edr-policy", "Always"}, "Invalid argument: Always"},
        {{"HDMI-A-1", "set-edr-policy", "always"}, lacks("the EDR policy", "has no EDR support")},
    });
}

} // namespace
