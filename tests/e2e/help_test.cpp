#include "expected_help.h"
#include "harness.h"

#include <gtest/gtest.h>

#include <unistd.h>

using e2e::Result;

namespace {

std::string help()
{
    e2e::VirtualSet set;
    const Result result = e2e::run(set, {"help"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "");
    return result.err;
}

TEST(Help, WholeText)
{
    const std::string expected = expectedHelp();
    ASSERT_NE(expected.size(), 0u);
    EXPECT_EQ(help(), expected);
}

TEST(Help, Preamble)
{
    const std::string preamble = unescape(R"(Usage: dispctl COMMAND …

Utility to change the output configuration.

Commands:
   identify                      Identify available outputs
   list-outputs                  List all connected outputs
   off                           Turn all outputs off
   on                            Turn all outputs on
   OUTPUT                        Query or change output settings

\e[1midentify: Identify available outputs\e[22m
   Usage: dispctl identify

   This command will show a popup on every screen with detailed output information.
   It can be used to determine the connector names to be used with other commands.

\e[1mlist-outputs: List all connected outputs\e[22m
   Usage: dispctl list-outputs [OPTIONS…]

\e[4mExamples:\e[24m

   List all available outputs

      dispctl list-outputs 

   List all enabled outputs

      dispctl list-outputs --enabled

\e[4mOptions:\e[24m
   --enabled                     Only list enabled outputs
   --disabled                    Only list disabled outputs
   --names                       Only display output names
   --json                        Display output information as JSON

\e[1moff: Turn all outputs off\e[22m
)");
    const std::string text = help();
    EXPECT_EQ(text.substr(0, preamble.size()), preamble);
}

TEST(Help, Sections)
{
    const std::string text = help();
    const std::string sections[] = {
        R"(
\e[1mOUTPUT: Query or change output settings\e[22m
   Usage: dispctl OUTPUT COMMAND… [OPTIONS…]

   The OUTPUT specifies the connector name, e.g. DP-1, or one of the special identifiers
   - "active-output" or "primary-output".

\e[4mOptions:\e[24m
   --reduced-blanking            Add a custom mode with reduced blanking
   --json                        Show output information as JSON

\e[4mBasic Commands:\e[24m
)",
        R"(
\e[4mModes Commands:\e[24m
   add-custom-mode MODE…
   add-custom-mode CLOCK… HDISPLAY… HSYNC_START… HSYNC_END… HTOTAL… VDISPLAY… VSYNC_START… VSYNC_END… VTOTAL… FLAG*…
                                 Add a custom mode. A custom mode can be specified
                                 using either the resolution and the refresh rate
                                 or CVT timings. Possible FLAG values: +hsync, -hsync,
                                 +vsync, -vsync, interlace
   list-custom-modes             List custom output modes
   list-modes                    List available output modes
   remove-custom-mode MODE…      Remove a custom mode. MODE is the index of the
                                 mode in list-custom-modes
   set-mode MODE…                Set the current mode

\e[4mModes Command Examples:\e[24m

   Add a custom mode specified by CVT timings

      dispctl active-output add-custom-mode 712.75 3840 4160 4576 5312 2160 2163 2168 2237 -hsync +vsync

   Add a custom mode with reduced blanking

      dispctl active-output add-custom-mode --reduced-blanking 1920x1080@60.0Hz

   List custom modes

      dispctl active-output list-custom-modes

   Remove the first custom mode. Note that the command takes the index of the custom
   mode in `list-custom-modes`

      dispctl active-output remove-custom-mode 0

   Set the 1920x1080@60 mode as the current mode. Note that you can also address
   modes by their IDs in `list-modes` or without the refresh rate, e.g. 1920x1080

      dispctl DP-1 set-mode 1920x1080@60

\e[4mPositioning Commands:\e[24m
)",
        // self is no command of Basic, but its examples are, JSON one first.
        R"(
\e[4mBasic Commands:\e[24m
   get-name                      Get connector name
   set-enabled BOOL…             Enable or disable the output
   set-primary                   Make the output primary
)",
        R"(
   toggle-enabled                Enable or disable the output

\e[4mBasic Command Examples:\e[24m

   Get the connector name of the active output

      dispctl active-output get-name

   Show information about the current output as JSON

      dispctl active-output --json

   Show information about the current output

      dispctl active-output

   Disable the current output

      dispctl active-output set-enabled false

   Change the scale factor of output DP-1 to 200%

      dispctl DP-1 set-scale 200%

\e[4mBrightness Commands:\e[24m
)",
        // Past column 33 the label ends its line; at 33 the text follows at once.
        R"(
   set-color-power-tradeoff TRADEOFF…
                                 Set color power tradeoff (prefer-accuracy or prefer-efficiency)
)",
        R"(
   set-sdr-brightness BRIGHTNESS…Set the SDR content brightness in the HDR mode
                                 (possible values: 0-10000)
)",
        R"(
   calibrate-hdr                 Calibrate HDR
)",
        R"(
   set-hdr BOOL…                 Turn on or turn off the HDR mode
   set-hdr-and-wcg BOOL…         Turn on or turn off both HDR and wide color gamut
   set-hdr-color-profile-source SOURCE…
)",
        // Misc has commands but no examples; Positioning ends the text.
        R"(
   set-vrr-policy POLICY…        Set the VRR policy (possible values: never, always,
                                 and automatic)

\e[4mModes Commands:\e[24m
)",
    };
    for (const std::string &section : sections) {
        const std::string expected = unescape(section);
        EXPECT_NE(text.find(expected), std::string::npos) << "missing:\n" << expected;
    }
    const std::string ending = "   set-position X… Y…            Set the position\n\n";
    ASSERT_GE(text.size(), ending.size());
    EXPECT_EQ(text.substr(text.size() - ending.size()), ending);
}

// APP is the executable's file name, whatever it is called.
TEST(Help, NamesTheExecutable)
{
    e2e::TempDir dir;
    const std::string renamed = dir.file("display-tool");
    ASSERT_EQ(::symlink(e2e::dispctlBinary().c_str(), renamed.c_str()), 0);
    const Result result = e2e::runProgram(renamed, {"--help"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "");
    const std::string usage = "Usage: display-tool COMMAND …\n\n";
    EXPECT_EQ(result.err.substr(0, usage.size()), usage);
    EXPECT_NE(result.err.find("      display-tool DP-1 set-mode 1920x1080@60\n"), std::string::npos);
    EXPECT_EQ(result.err.find("dispctl"), std::string::npos);
}

} // namespace
