// The three command tables as the linker lays them out: every record, in
// order. Fails until every command unit is in the build.

#include "core/command.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

namespace {

std::string text(const char *value)
{
    return value ? std::string(value) : std::string("<null>");
}

struct ExpectedCommand {
    const char *scope;
    const char *name;
    const char *category;
    bool global;
    const char *summary;
};

const ExpectedCommand expectedCommands[] = {
    {nullptr, "identify", nullptr, true, "Identify available outputs"},
    {nullptr, "list-outputs", nullptr, true, "List all connected outputs"},
    {nullptr, "off", nullptr, true, "Turn all outputs off"},
    {nullptr, "on", nullptr, true, "Turn all outputs on"},
    {"OUTPUT", "above", "Positioning", false, "Place an output above another output"},
    {"OUTPUT", "add-custom-mode", "Modes", false, "Add a custom mode. A custom mode can be specified using either the resolution and the refresh rate or CVT timings. Possible FLAG values: +hsync, -hsync, +vsync, -vsync, interlace"},
    {"OUTPUT", "below", "Positioning", false, "Place an output below another output"},
    {"OUTPUT", "calibrate-hdr", "Color Management", false, "Calibrate HDR"},
    {"OUTPUT", "get-name", "Basic", false, "Get connector name"},
    {"OUTPUT", "left-of", "Positioning", false, "Place this output to the left of another"},
    {"OUTPUT", "list-custom-modes", "Modes", false, "List custom output modes"},
    {"OUTPUT", "list-modes", "Modes", false, "List available output modes"},
    {"OUTPUT", "remove-custom-mode", "Modes", false, "Remove a custom mode. MODE is the index of the mode in list-custom-modes"},
    {"OUTPUT", "right-of", "Positioning", false, "Place this output to the right of another output"},
    {"OUTPUT", "self", "Basic", false, "Query or change output settings"},
    {"OUTPUT", "set-abm", "Misc", false, "Change the adaptive backlight management level (possible values: 0-4)"},
    {"OUTPUT", "set-auto-brightness", "Brightness", false, "Turn on or turn off automatic brightness adjustment"},
    {"OUTPUT", "set-auto-rotate", "Misc", false, "Turn on or turn off auto rotation"},
    {"OUTPUT", "set-brightness", "Brightness", false, "Set screen brightness (possible values: 0%-100%)"},
    {"OUTPUT", "set-color-power-tradeoff", "Color Management", false, "Set color power tradeoff (prefer-accuracy or prefer-efficiency)"},
    {"OUTPUT", "set-color-profile-source", "Color Management", false, "Set color profile source (possible values: EDID, ICC, or sRGB)"},
    {"OUTPUT", "set-ddc-ci-allowed", "Misc", false, "Allow or disallow DDCI CI to be used to control the output"},
    {"OUTPUT", "set-dimming", "Brightness", false, "Set the dimming level (possible values: 0%-100%)"},
    {"OUTPUT", "set-edr-policy", "Color Management", false, "Set the extended dynamic range policy (possible values: never or always)"},
    {"OUTPUT", "set-enabled", "Basic", false, "Enable or disable the output"},
    {"OUTPUT", "set-hdr-and-wcg", "Color Management", false, "Turn on or turn off both HDR and wide color gamut"},
    {"OUTPUT", "set-hdr-color-profile-source", "Color Management", false, "Set color profile source (possible values: EDID, or ICC)"},
    {"OUTPUT", "set-hdr-icc-profile", "Color Management", false, "Set the ICC profile path for the HDR mode"},
    {"OUTPUT", "set-hdr", "Color Management", false, "Turn on or turn off the HDR mode"},
    {"OUTPUT", "set-icc-profile", "Color Management", false, "Set the ICC profile path"},
    {"OUTPUT", "set-max-average-brightness-override", "Color Management", false, "Override the max average brightness (possible values: none or 0-10000)"},
    {"OUTPUT", "set-max-peak-brightness-override", "Color Management", false, "Override the max peak brightness (possible values: none or 0-10000)"},
    {"OUTPUT", "set-maxbpc", "Misc", false, "Set the maximum bits per color (possible values: 6, 8, 10, 12, 14, and 16)"},
    {"OUTPUT", "set-min-brightness-override", "Color Management", false, "Override the minimum brightness (possible values: none or 0-10000)"},
    {"OUTPUT", "set-mode", "Modes", false, "Set the current mode"},
    {"OUTPUT", "set-overscan", "Misc", false, "Set the overscan (possible values: 0-100)"},
    {"OUTPUT", "set-position", "Positioning", false, "Set the position"},
    {"OUTPUT", "set-primary", "Basic", false, "Make the output primary"},
    {"OUTPUT", "set-priority", "Basic", false, "Set the output priority (possible values: 1-100)"},
    {"OUTPUT", "set-replica-of", "Misc", false, "Mirror or unmirror another output (possible values: none or an OUTPUT)"},
    {"OUTPUT", "set-rgb-range", "Color Management", false, "Set the RGB range (possible values: full, limited, or automatic)"},
    {"OUTPUT", "set-rotation", "Basic", false, "Set the output transform. Outputs are rotated counter-clockwise (possible values: none, normal, 0, 90, 180, 270, flipped, flipped90, flipped180, or flipped270)"},
    {"OUTPUT", "set-scale", "Basic", false, "Set the output scale"},
    {"OUTPUT", "set-sdr-brightness", "Color Management", false, "Set the SDR content brightness in the HDR mode (possible values: 0-10000)"},
    {"OUTPUT", "set-sdr-gamut", "Color Management", false, "Set the SDR gamut wideness (possible values: 0-100)"},
    {"OUTPUT", "set-sharpness", "Misc", false, "Set the sharpness (possible values: 0-100)"},
    {"OUTPUT", "set-vrr-policy", "Misc", false, "Set the VRR policy (possible values: never, always, and automatic)"},
    {"OUTPUT", "set-wcg", "Color Management", false, "Turn on or turn off wide color gamut"},
    {"OUTPUT", "toggle-auto-brightness", "Brightness", false, "Toggle automatic brightness adjustment"},
    {"OUTPUT", "toggle-enabled", "Basic", false, "Enable or disable the output"},
    {"OUTPUT", "toggle-hdr-and-wcg", "Color Management", false, "Toggle both HDR and wide color gamut"},
    {"OUTPUT", "toggle-hdr", "Color Management", false, "Toggle HDR"},
    {"OUTPUT", "toggle-wcg", "Color Management", false, "Toggle wide color gamut"},
};

struct ExpectedOption {
    const char *scope;
    const char *command;
    OptionKind kind;
    const char *name;
    const char *valueName;
    const char *description;
};

const ExpectedOption expectedOptions[] = {
    {nullptr, "list-outputs", OptionKind::Option, "enabled", nullptr, "Only list enabled outputs"},
    {nullptr, "list-outputs", OptionKind::Option, "disabled", nullptr, "Only list disabled outputs"},
    {nullptr, "list-outputs", OptionKind::Option, "names", nullptr, "Only display output names"},
    {nullptr, "list-outputs", OptionKind::Option, "json", nullptr, "Display output information as JSON"},
    {"OUTPUT", "above", OptionKind::Positional, nullptr, "OUTPUT", nullptr},
    {"OUTPUT", "add-custom-mode", OptionKind::Option, "reduced-blanking", nullptr, "Add a custom mode with reduced blanking"},
    {"OUTPUT", "add-custom-mode", OptionKind::Positional, nullptr, "MODE;CLOCK HDISPLAY HSYNC_START HSYNC_END HTOTAL VDISPLAY VSYNC_START VSYNC_END VTOTAL FLAG*", nullptr},
    {"OUTPUT", "below", OptionKind::Positional, nullptr, "OUTPUT", nullptr},
    {"OUTPUT", "left-of", OptionKind::Positional, nullptr, "OUTPUT", nullptr},
    {"OUTPUT", "remove-custom-mode", OptionKind::Positional, nullptr, "MODE", nullptr},
    {"OUTPUT", "right-of", OptionKind::Positional, nullptr, "OUTPUT", nullptr},
    {"OUTPUT", "self", OptionKind::Option, "json", nullptr, "Show output information as JSON"},
    {"OUTPUT", "set-abm", OptionKind::Positional, nullptr, "LEVEL", nullptr},
    {"OUTPUT", "set-auto-brightness", OptionKind::Positional, nullptr, "BOOL", nullptr},
    {"OUTPUT", "set-auto-rotate", OptionKind::Positional, nullptr, "POLICY", nullptr},
    {"OUTPUT", "set-brightness", OptionKind::Positional, nullptr, "BRIGHTNESS", nullptr},
    {"OUTPUT", "set-color-power-tradeoff", OptionKind::Positional, nullptr, "TRADEOFF", nullptr},
    {"OUTPUT", "set-color-profile-source", OptionKind::Positional, nullptr, "SOURCE", nullptr},
    {"OUTPUT", "set-ddc-ci-allowed", OptionKind::Positional, nullptr, "BOOL", nullptr},
    {"OUTPUT", "set-dimming", OptionKind::Positional, nullptr, "DIMMING", nullptr},
    {"OUTPUT", "set-edr-policy", OptionKind::Positional, nullptr, "POLICY", nullptr},
    {"OUTPUT", "set-enabled", OptionKind::Positional, nullptr, "BOOL", nullptr},
    {"OUTPUT", "set-hdr-and-wcg", OptionKind::Positional, nullptr, "BOOL", nullptr},
    {"OUTPUT", "set-hdr-color-profile-source", OptionKind::Positional, nullptr, "SOURCE", nullptr},
    {"OUTPUT", "set-hdr-icc-profile", OptionKind::Positional, nullptr, "PATH", nullptr},
    {"OUTPUT", "set-hdr", OptionKind::Positional, nullptr, "BOOL", nullptr},
    {"OUTPUT", "set-icc-profile", OptionKind::Positional, nullptr, "PATH", nullptr},
    {"OUTPUT", "set-max-average-brightness-override", OptionKind::Positional, nullptr, "BRIGHTNESS", nullptr},
    {"OUTPUT", "set-max-peak-brightness-override", OptionKind::Positional, nullptr, "BRIGHTNESS", nullptr},
    {"OUTPUT", "set-maxbpc", OptionKind::Positional, nullptr, "BPC", nullptr},
    {"OUTPUT", "set-min-brightness-override", OptionKind::Positional, nullptr, "BRIGHTNESS", nullptr},
    {"OUTPUT", "set-mode", OptionKind::Positional, nullptr, "MODE", nullptr},
    {"OUTPUT", "set-overscan", OptionKind::Positional, nullptr, "OVERSCAN", nullptr},
    {"OUTPUT", "set-position", OptionKind::Positional, nullptr, "X Y", nullptr},
    {"OUTPUT", "set-priority", OptionKind::Positional, nullptr, "PRIORITY", nullptr},
    {"OUTPUT", "set-replica-of", OptionKind::Positional, nullptr, "OUTPUT", nullptr},
    {"OUTPUT", "set-rgb-range", OptionKind::Positional, nullptr, "RANGE", nullptr},
    {"OUTPUT", "set-rotation", OptionKind::Positional, nullptr, "ROTATION", nullptr},
    {"OUTPUT", "set-scale", OptionKind::Positional, nullptr, "SCALE", nullptr},
    {"OUTPUT", "set-sdr-brightness", OptionKind::Positional, nullptr, "BRIGHTNESS", nullptr},
    {"OUTPUT", "set-sdr-gamut", OptionKind::Positional, nullptr, "WIDENESS", nullptr},
    {"OUTPUT", "set-sharpness", OptionKind::Positional, nullptr, "SHARPNESS", nullptr},
    {"OUTPUT", "set-vrr-policy", OptionKind::Positional, nullptr, "POLICY", nullptr},
    {"OUTPUT", "set-wcg", OptionKind::Positional, nullptr, "BOOL", nullptr},
};

struct ExpectedExample {
    const char *scope;
    const char *command;
    const char *description;
    const char *arguments;
};

const ExpectedExample expectedExamples[] = {
    {nullptr, "list-outputs", "List all available outputs", ""},
    {nullptr, "list-outputs", "List all enabled outputs", "--enabled"},
    {nullptr, "off", "Turn all outputs off", ""},
    {nullptr, "on", "Turn all outputs on", ""},
    {"OUTPUT", "add-custom-mode", "Add a custom mode with reduced blanking", "active-output add-custom-mode --reduced-blanking 1920x1080@60.0Hz"},
    {"OUTPUT", "add-custom-mode", "Add a custom mode specified by CVT timings", "active-output add-custom-mode 712.75 3840 4160 4576 5312 2160 2163 2168 2237 -hsync +vsync"},
    {"OUTPUT", "get-name", "Get the connector name of the active output", "active-output get-name"},
    {"OUTPUT", "list-custom-modes", "List custom modes", "active-output list-custom-modes"},
    {"OUTPUT", "remove-custom-mode", "Remove the first custom mode. Note that the command takes the index of the custom mode in `list-custom-modes`", "active-output remove-custom-mode 0"},
    {"OUTPUT", "self", "Show information about the current output", "active-output"},
    {"OUTPUT", "self", "Show information about the current output as JSON", "active-output --json"},
    {"OUTPUT", "set-brightness", "Change the brightness of the current output to 50%", "active-output set-brightness 50%"},
    {"OUTPUT", "set-enabled", "Disable the current output", "active-output set-enabled false"},
    {"OUTPUT", "set-icc-profile", "Assign an ICC profile to the current output. The profile will only be used in the SDR mode. For HDR, you want to use the `set-hdr-icc-profile` command", "active-output set-icc-profile ~/path/to/profile.icc"},
    {"OUTPUT", "set-mode", "Set the 1920x1080@60 mode as the current mode. Note that you can also address modes by their IDs in `list-modes` or without the refresh rate, e.g. 1920x1080", "DP-1 set-mode 1920x1080@60"},
    {"OUTPUT", "set-scale", "Change the scale factor of output DP-1 to 200%", "DP-1 set-scale 200%"},
    {"OUTPUT", "toggle-hdr-and-wcg", "Toggle both HDR and wide color gamut on the current output", "active-output toggle-hdr-and-wcg"},
};

const Command *findCommand(const char *scope, const char *name)
{
    for (const Command &command : commandTable()) {
        if (sameScope(command.scope, scope) && std::strcmp(command.name, name) == 0)
            return &command;
    }
    return nullptr;
}

TEST(Tables, CommandsInOrder)
{
    const auto table = commandTable();
    ASSERT_EQ(table.size(), std::size(expectedCommands));
    for (std::size_t i = 0; i < table.size(); ++i) {
        const Command &command = table[i];
        const ExpectedCommand &expected = expectedCommands[i];
        SCOPED_TRACE("command #" + std::to_string(i + 1) + " " + text(expected.name));
        EXPECT_EQ(text(command.scope), text(expected.scope));
        EXPECT_EQ(text(command.name), text(expected.name));
        EXPECT_EQ(text(command.category), text(expected.category));
        EXPECT_EQ(text(command.summary), text(expected.summary));
        EXPECT_EQ(command.globalHandler != nullptr, expected.global);
        EXPECT_EQ(command.outputHandler != nullptr, !expected.global);

        const char *description = nullptr;
        if (std::strcmp(expected.name, "identify") == 0)
            description = "This command will show a popup on every screen with detailed output information. "
                          "It can be used to determine the connector names to be used with other commands.";
        else if (std::strcmp(expected.name, "self") == 0)
            description = "The OUTPUT specifies the connector name, e.g. DP-1, or one of the special "
                          "identifiers - \"active-output\" or \"primary-output\".";
        EXPECT_EQ(text(command.description), text(description));
    }
}

TEST(Tables, OptionsInOrder)
{
    const auto table = optionTable();
    ASSERT_EQ(table.size(), std::size(expectedOptions));
    for (std::size_t i = 0; i < table.size(); ++i) {
        const CommandOption &option = table[i];
        const ExpectedOption &expected = expectedOptions[i];
        SCOPED_TRACE("option #" + std::to_string(i + 1) + " of " + text(expected.command));
        EXPECT_EQ(text(option.scope), text(expected.scope));
        EXPECT_EQ(text(option.command), text(expected.command));
        EXPECT_EQ(option.kind, expected.kind);
        EXPECT_EQ(text(option.name), text(expected.name));
        EXPECT_EQ(text(option.valueName), text(expected.valueName));
        EXPECT_EQ(text(option.description), text(expected.description));
    }
}

TEST(Tables, ExamplesInOrder)
{
    const auto table = exampleTable();
    ASSERT_EQ(table.size(), std::size(expectedExamples));
    for (std::size_t i = 0; i < table.size(); ++i) {
        const CommandExample &example = table[i];
        const ExpectedExample &expected = expectedExamples[i];
        SCOPED_TRACE("example #" + std::to_string(i + 1) + " of " + text(expected.command));
        EXPECT_EQ(text(example.scope), text(expected.scope));
        EXPECT_EQ(text(example.command), text(expected.command));
        EXPECT_EQ(text(example.description), text(expected.description));
        EXPECT_EQ(text(example.arguments), text(expected.arguments));
    }
}

// What dispatch, the parser and the help rely on, whatever the contents.
TEST(Tables, RecordsAreWellFormed)
{
    std::set<std::pair<std::string, std::string>> names;
    for (const Command &command : commandTable()) {
        SCOPED_TRACE(text(command.name));
        ASSERT_NE(command.name, nullptr);
        EXPECT_NE(command.summary, nullptr);
        EXPECT_NE(command.globalHandler == nullptr, command.outputHandler == nullptr) << "exactly one handler";
        // Global commands have no scope and no category, per-output ones both.
        EXPECT_EQ(command.scope == nullptr, command.globalHandler != nullptr);
        EXPECT_EQ(command.category == nullptr, command.scope == nullptr);
        EXPECT_TRUE(names.insert({text(command.scope), command.name}).second) << "declared twice";
    }

    std::set<const void *> targets;
    std::set<std::pair<std::string, std::string>> withPositional;
    for (const CommandOption &option : optionTable()) {
        SCOPED_TRACE(text(option.command) + " " + text(option.name));
        ASSERT_NE(option.command, nullptr);
        EXPECT_NE(findCommand(option.scope, option.command), nullptr) << "no such command";
        EXPECT_NE(option.target, nullptr);
        EXPECT_TRUE(targets.insert(option.target).second) << "target shared with another record";
        if (option.kind == OptionKind::Positional) {
            EXPECT_EQ(option.name, nullptr);
            EXPECT_EQ(option.description, nullptr);
            ASSERT_NE(option.valueName, nullptr);
            EXPECT_NE(std::strlen(option.valueName), 0u);
            EXPECT_TRUE(withPositional.insert({text(option.scope), option.command}).second)
                << "second positional record";
        } else {
            EXPECT_EQ(option.kind, OptionKind::Option);
            ASSERT_NE(option.name, nullptr);
            EXPECT_NE(std::strlen(option.name), 0u);
            EXPECT_NE(option.description, nullptr);
        }
    }

    for (const CommandExample &example : exampleTable()) {
        SCOPED_TRACE(text(example.command) + ": " + text(example.description));
        ASSERT_NE(example.command, nullptr);
        EXPECT_NE(findCommand(example.scope, example.command), nullptr) << "no such command";
        EXPECT_NE(example.description, nullptr);
        EXPECT_NE(example.arguments, nullptr);
    }
}

// The variables start out empty before any parse.
TEST(Tables, OptionVariablesStartEmpty)
{
    for (const CommandOption &option : optionTable()) {
        SCOPED_TRACE(text(option.command) + " " + text(option.name));
        if (option.kind == OptionKind::Positional)
            EXPECT_TRUE(static_cast<const QStringList *>(option.target)->isEmpty());
        else if (!option.valueName)
            EXPECT_FALSE(*static_cast<const bool *>(option.target));
        else
            EXPECT_TRUE(static_cast<const QString *>(option.target)->isEmpty());
    }
}

std::vector<std::string> optionNames(const Command &command)
{
    std::vector<std::string> result;
    for (const CommandOption *option : optionsFor(command))
        result.push_back(option->kind == OptionKind::Positional ? "<" + text(option->valueName) + ">"
                                                                 : text(option->name));
    return result;
}

std::vector<std::string> exampleArguments(const Command &command)
{
    std::vector<std::string> result;
    for (const CommandExample *example : examplesFor(command))
        result.push_back(example->arguments);
    return result;
}

using Names = std::vector<std::string>;

TEST(Tables, RecordsOfOneCommand)
{
    const Command *listOutputs = findCommand(nullptr, "list-outputs");
    const Command *addCustomMode = findCommand("OUTPUT", "add-custom-mode");
    const Command *getName = findCommand("OUTPUT", "get-name");
    const Command *self = findCommand("OUTPUT", "self");
    const Command *above = findCommand("OUTPUT", "above");
    ASSERT_TRUE(listOutputs && addCustomMode && getName && self && above);

    EXPECT_EQ(optionNames(*listOutputs), (Names{"enabled", "disabled", "names", "json"}));
    EXPECT_EQ(optionNames(*addCustomMode),
              (Names{"reduced-blanking",
                     "<MODE;CLOCK HDISPLAY HSYNC_START HSYNC_END HTOTAL VDISPLAY VSYNC_START VSYNC_END VTOTAL FLAG*>"}));
    EXPECT_EQ(optionNames(*getName), Names{});
    EXPECT_EQ(optionNames(*self), Names{"json"});

    EXPECT_EQ(exampleArguments(*self), (Names{"active-output", "active-output --json"}));
    EXPECT_EQ(exampleArguments(*above), Names{});
    EXPECT_EQ(exampleArguments(*listOutputs), (Names{"", "--enabled"}));
}

// Matching goes by scope and name text, never by address.
TEST(Tables, ScopeTellsCommandsApart)
{
    const std::string outputScope = "OUTPUT"; // a different address than the records' text
    const std::string selfName = "self";
    const Command perOutputSelf{outputScope.c_str(), selfName.c_str(), "", nullptr, "Basic", nullptr, nullptr};
    EXPECT_EQ(optionNames(perOutputSelf), Names{"json"});
    EXPECT_EQ(exampleArguments(perOutputSelf), (Names{"active-output", "active-output --json"}));

    const Command globalSelf{nullptr, "self", "", nullptr, nullptr, nullptr, nullptr};
    EXPECT_EQ(optionNames(globalSelf), Names{});
    EXPECT_EQ(exampleArguments(globalSelf), Names{});

    const Command perOutputList{"OUTPUT", "list-outputs", "", nullptr, "Basic", nullptr, nullptr};
    EXPECT_EQ(optionNames(perOutputList), Names{});
    EXPECT_EQ(exampleArguments(perOutputList), Names{});

    const Command otherScope{"SCREEN", "self", "", nullptr, "Basic", nullptr, nullptr};
    EXPECT_EQ(optionNames(otherScope), Names{});
}

} // namespace
