#include "generate.h"
#include "values.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>

namespace {

// The code point of the UTF-8 sequence at text[i]; advances i past it.
// A broken sequence yields U+FFFD for its first byte.
uint32_t nextCodePoint(std::string_view text, std::size_t &i)
{
    const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
    const unsigned char lead = byte(i);
    int length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || i + length > text.size()) {
        ++i;
        return 0xFFFD;
    }
    uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
    for (int k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            ++i;
            return 0xFFFD;
        }
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    i += length;
    return code;
}

// Running text ends each sentence with a full stop.
std::string sentence(std::string_view text)
{
    std::string result = troff(text);
    if (!text.empty() && text.back() != '.')
        result += '.';
    return result;
}

std::string bold(std::string_view text)
{
    return "\\fB" + troff(text) + "\\fR";
}

std::string italic(std::string_view text)
{
    return "\\fI" + troff(text) + "\\fR";
}

// "CLOCK HDISPLAY FLAG*" as italic placeholders, a repeated one bracketed.
std::string placeholders(const ValueAlternative &alternative)
{
    std::string result;
    for (const Placeholder &placeholder : alternative) {
        result += ' ';
        if (placeholder.repeated)
            result += "[" + italic(placeholder.name) + " .\\|.\\|.]";
        else
            result += italic(placeholder.name);
    }
    return result;
}

std::string flagSynopsis(const Command &command)
{
    std::string result;
    for (const CommandOption *option : namedOptionsOf(command)) {
        result += " [" + bold(std::string("--") + option->name);
        if (option->valueName)
            result += "=" + italic(option->valueName);
        result += "]";
    }
    return result;
}

// One tag line per positional alternative: "name [flags] PLACEHOLDERS".
std::vector<std::string> commandTags(const Command &command)
{
    const std::string head = bold(command.name) + flagSynopsis(command);
    const std::vector<ValueAlternative> alternatives = positionalPattern(command);
    if (alternatives.empty())
        return {head};
    std::vector<std::string> tags;
    for (const ValueAlternative &alternative : alternatives)
        tags.push_back(head + placeholders(alternative));
    return tags;
}

void commandEntry(std::string &page, const Command &command)
{
    const std::vector<std::string> tags = commandTags(command);
    for (std::size_t i = 0; i < tags.size(); ++i)
        page += (i == 0 ? ".TP\n" : ".TQ\n") + tags[i] + "\n";
    page += sentence(command.summary) + "\n";
    if (command.description)
        page += ".IP\n" + sentence(command.description) + "\n";
}

std::string exampleLine(const CommandExample &example)
{
    std::string line = "dispctl";
    if (!example.scope)
        line += std::string(" ") + example.command;
    if (*example.arguments)
        line += std::string(" ") + example.arguments;
    return line;
}

void globalCommandsSection(std::string &page)
{
    page += ".SH GLOBAL COMMANDS\n";
    for (const Command *command : globalCommands())
        commandEntry(page, *command);
}

void outputSection(std::string &page)
{
    page += R"~~(.SH OUTPUT
A per\-output command names its output by the first word of the command line,
.IR OUTPUT ,
in one of these forms, tried in this order:
.TP
.B primary\-output
The primary output, the one ranked first.
.TP
.B active\-output
The output that the compositor reports as active, asked over the session D\-Bus.
.TP
.I connector name
The name of the output's connector, for example
.B DP\-1
or
.BR eDP\-1 ,
as
.B dispctl list\-outputs \-\-names
prints them.
.TP
.I uuid
The output's uuid; a name is matched before a uuid of the same output,
and the output with the lower id wins when one output's name is another's uuid.
.TP
.I id
The output's numeric id, when no name or uuid is that word.
.PP
Disabled and disconnected outputs can be named too.
A word that names no output ends the command with the message
.B Unknown output:
followed by the word.
)~~";
    if (const Command *self = findSelf(); self && self->description)
        page += ".PP\n" + sentence(self->description) + "\n";
}

void outputCommandsSection(std::string &page)
{
    page += ".SH OUTPUT COMMANDS\n";
    page += "Each of these commands follows the\n.I OUTPUT\nword.\n";
    if (const Command *self = findSelf()) {
        page += "Without a command,\n.B dispctl\n.I OUTPUT\nshows the output:\n";
        page += ".TP\n.I OUTPUT" + flagSynopsis(*self) + "\n" + sentence(self->summary) + "\n";
        page += ".PP\n";
    }
    // Sorted by byte value, as the help sorts them.
    std::map<std::string, std::vector<const Command *>> categories;
    for (const Command *command : outputCommands())
        categories[command->category ? command->category : "Other"].push_back(command);
    for (auto &[category, commands] : categories) {
        std::sort(commands.begin(), commands.end(),
                  [](const Command *a, const Command *b) { return std::strcmp(a->name, b->name) < 0; });
        page += ".SS \"" + troff(category) + "\"\n";
        for (const Command *command : commands)
            commandEntry(page, *command);
    }
}

void optionsSection(std::string &page)
{
    page += R"~~(.SH OPTIONS
An option is two dashes and its name; options and positional words may be
given in any order after the command, and a word that begins with a single
dash, such as a negative number, is a positional word.
.TP
.B \-\-help
Print the help, which lists every command, to standard error.
It may stand anywhere on the command line; there is no help for a single command.
)~~";
    for (const CommandOption *option : namedOptions()) {
        std::string tag = bold(std::string("--") + option->name);
        if (option->valueName)
            tag += "=" + italic(option->valueName);
        // Where the option is given: after a global command, after OUTPUT
        // alone (self), or after OUTPUT and a per-output command.
        if (!option->scope)
            tag += " (" + bold(option->command) + ")";
        else if (std::strcmp(option->command, "self") == 0)
            tag += " (" + italic(option->scope) + ")";
        else
            tag += " (" + italic(option->scope) + " " + bold(option->command) + ")";
        page += ".TP\n" + tag + "\n";
        page += sentence(option->description ? option->description : "") + "\n";
    }
}

// What users of other tools misread: scale and brightness values are
// percentages, with or without the sign.
const char *const valuesSection = R"~~(.SH VALUES
The values of
.BR set\-scale ,
.B set\-brightness
and
.B set\-dimming
are percentages.
The number is read with a full stop as the decimal separator, one
.B %
at its end is dropped, and the number is divided by 100 whether or not the
.B %
was there:
.B 150%
and
.B 150
both mean a factor of 1.5, and
.B 2
means 2%, not twice the size.
To double the size write
.B set\-scale 200
or
.BR "set\-scale 200%" .
A scale from 50% to 1000% is accepted, both ends included; a smaller one ends
with
.B The scale factor should be at least 50%
and a larger one with
.BR "The scale factor cannot be greater than 1000%" .
Brightness and dimming go from 0% to 100%, both ends included, so
.B set\-brightness 0.5
sets half a percent.
A text that is no number, or that keeps a
.B %
elsewhere (such as
.BR 50%% ),
ends with
.B Invalid argument:
followed by the text.
A refused value changes nothing and ends with exit status 1.
.SH "COMPOSITOR SERVICE"
Two things need the compositor's own service on the session D\-Bus
.RB ( org.lumo.Vantor ),
which only that compositor offers; without it they fail with the bus's message
and exit status 1:
.TP
.B active\-output
as the
.I OUTPUT
word, which asks the service for the name of the active output;
.TP
.B identify
which asks it to show the popup.
.PP
Every other command and every other
.I OUTPUT
word works on any backend without the service.
Most examples below name
.BR active\-output ;
elsewhere write a connector name such as
.BR DP\-1 ,
or
.BR primary\-output ,
in its place.
)~~";

void examplesSection(std::string &page)
{
    if (exampleTable().empty())
        return;
    page += ".SH EXAMPLES\n";
    for (const CommandExample &example : exampleTable()) {
        page += ".PP\n" + sentence(example.description) + "\n";
        page += ".RS\n.nf\n" + bold(exampleLine(example)) + "\n.fi\n.RE\n";
    }
}

const char *const fixedSections = R"~~(.SH "EXIT STATUS"
.TP
.B 0
The command succeeded, or the help was asked for with
.B help
or
.BR \-\-help .
.TP
.B 1
The command failed: a word or value was refused, the output could not be
found, the configuration could not be fetched, the library or the display
service refused to apply it, or the compositor's service did not answer
(see
.BR "COMPOSITOR SERVICE" ).
A refused change leaves the configuration as it was.
The help printed for an empty or unusable command line ends with 1 as well.
.PP
.B off
and
.B on
end with the status of the event loop that waits for the screens.
.SH ENVIRONMENT
The tool itself reads no environment variable and no configuration file;
these are read by the Dispor display\-configuration library that it uses.
.TP
.B DISPOR_BACKEND
The backend:
.B x11
(RandR),
.B wayland
(wlroots output management) and
.B gnome
(mutter's display configuration on the session bus) reach the session's
real display service;
.B virtual
is the simulated display set described below.
Unset or empty, the library looks for the real display service: the
compositor named by
.B WAYLAND_DISPLAY
when it offers output management, else mutter when the session bus offers
org.gnome.Mutter.DisplayConfig, else the X server named by
.B DISPLAY
when its outputs are not Xwayland's emulation of a compositor's outputs.
Each look waits a few seconds at most.
When none of them can serve, every command that reads the configuration
fails with one line that says what was found and why it cannot serve: the
simulated set is used only when
.B DISPOR_BACKEND=virtual
asks for it, never in place of real screens.
Named explicitly on Xwayland,
.B x11
shows what X clients see but refuses every change, since it would not reach
the screens.
On GNOME a change is applied for the running session only (mutter's
temporary method): it holds until the session ends or the monitors change,
and is not saved to GNOME's monitor configuration. A persistent change
would be taken back after some seconds unless confirmed in GNOME Shell's
dialog, so that a command that succeeded could be silently undone; GNOME
Settings keeps a layout for later sessions.
Mutter accepts only the scales it lists for a mode, one near each quarter
step: a requested quarter step (125%, 150%, ...) means the listed scale
near it (150% on 2560x1440 is 1.4953...), and any other scale is refused
with the list.
Any other value makes every command that reads the configuration fail with a
message that names the value and the known backends.
.TP
.B DISPOR_VIRTUAL_STATE
The path of the virtual display document, when set and not empty.
.TP
.B XDG_RUNTIME_DIR
Without
.BR DISPOR_VIRTUAL_STATE ,
the document is
.IR $XDG_RUNTIME_DIR/dispor/virtual\-display.json ;
without
.B XDG_RUNTIME_DIR
as well, it is
.IR /tmp/dispor\-UID/virtual\-display.json ,
with the user's numeric id for
.IR UID .
The Wayland backend keeps its custom\-mode lists in the same directory.
.TP
.B WAYLAND_DISPLAY
The compositor's socket, for the Wayland backend; it also names that
backend's custom\-mode list file.
.TP
.B DISPLAY
The X server, for the X11 backend.
.TP
.B DBUS_SESSION_BUS_ADDRESS
The session bus, on which
.B active\-output
and
.B identify
reach the compositor's service.
.SH "VIRTUAL DISPLAY SET"
The virtual backend simulates a set of outputs kept in one JSON document.
It reports outputs, modes and capabilities, refuses changes that a real
display service would refuse, with a reason, and keeps what was applied,
so that one run sees what an earlier run changed.
.PP
A document that does not exist stands for a built\-in default set: a laptop
panel
.B eDP\-1
(primary), an HDR\-capable 4K monitor
.B DP\-1
to its right and a disconnected
.BR HDMI\-A\-1 .
Reading never creates the document; the first successful change writes it.
A directory that the backend creates gets mode 0700.
A directory that belongs to another user or that others can write to, and a
document that is a symbolic link, are refused.
.PP
The document holds an object with the array
.BR outputs ;
each output needs a unique integer
.B id
(1 or more) and a unique, non\-empty
.BR name .
All other keys are optional and are named after the library's getters, with
enumerations written as words:
.BR uuid ,
.B type
(a connector word such as
.BR DisplayPort ,
.B HDMI
or
.BR Panel ),
.BR enabled ,
.BR connected ,
.B priority
(1 is primary, 0 none),
.B pos
.RB ( x ,
.BR y ),
.B modes
(each with a text
.BR id ,
.BR width ,
.B height
and
.BR refreshRate ),
.BR currentModeId ,
.BR preferredModeId ,
.BR size ,
.BR scale ,
.BR rotation ,
.BR explicitLogicalSize ,
.B capabilities
(words such as
.BR hdr ,
.BR wcg ,
.BR brightness ,
.BR icc ,
.BR vrr ,
.BR custom\-modes ),
.BR hdrEnabled ,
.BR wcgEnabled ,
.BR sdrBrightness ,
.BR brightness ,
.BR dimming ,
.BR iccProfilePath ,
.BR colorProfileSource ,
.BR rgbRange ,
.BR vrrPolicy ,
.BR overscan ,
.BR replicationSource ,
.B customModes
and
.BR dpms ,
among others.
A document that is not valid JSON, has a value of the wrong type or out of
range, a duplicate id or name, a mode id that its output lacks, or an unknown
key is refused as a whole, with one line that names the file and the fault.
.PP
A change is applied under an exclusive lock beside the document: the document
is read again, only the properties that the command changed are applied to it,
the result is checked, and the new document replaces the old one in one step.
A change is refused, and nothing written, when the output lacks the capability
for it, when no connected output would stay enabled, for a mode the output
does not have, a replication source that is the output itself or does not
exist, an ICC profile path that is not a readable ICC profile, or a value out
of range.
.PP
A short document with one monitor:
.PP
.RS
.nf
{
  "outputs": [
    {
      "id": 1,
      "name": "DP\-1",
      "type": "DisplayPort",
      "modes": [
        { "id": "1", "width": 1920, "height": 1080, "refreshRate": 60.0 },
        { "id": "2", "width": 1280, "height": 720, "refreshRate": 60.0 }
      ],
      "currentModeId": "1",
      "preferredModeId": "1",
      "capabilities": [ "hdr", "wcg" ]
    }
  ]
}
.fi
.RE
.PP
With it,
.PP
.RS
.nf
.B DISPOR_BACKEND=virtual DISPOR_VIRTUAL_STATE=./set.json dispctl DP\-1 set\-mode 2
.fi
.RE
.PP
makes the 1280x720 mode current and writes the change into
.IR set.json .
.SH FILES
.TP
.I $XDG_RUNTIME_DIR/dispor/virtual\-display.json
The virtual display document, unless
.B DISPOR_VIRTUAL_STATE
names another.
.TP
.I /tmp/dispor\-UID/virtual\-display.json
The document when
.B XDG_RUNTIME_DIR
is not set.
.TP
.I $XDG_RUNTIME_DIR/dispor/wayland\-SOCKET\-custom\-modes.json
The custom modes that the Wayland backend keeps for the compositor whose
socket
.B WAYLAND_DISPLAY
names
.RI ( SOCKET ,
percent\-encoded), since the compositor keeps no such list; in
.I /tmp/dispor\-UID
when
.B XDG_RUNTIME_DIR
is not set.
It is changed under a lock, like the virtual document, and lasts as long as
the session's runtime directory.
)~~";

} // namespace

std::string troff(std::string_view text)
{
    std::string result;
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (static_cast<unsigned char>(c) >= 0x80) {
            result += fmt::format("\\[u{:04X}]", nextCodePoint(text, i));
            continue;
        }
        ++i;
        switch (c) {
        case '\\': result += "\\e"; break;
        case '-': result += "\\-"; break;
        case '\'': result += "\\(aq"; break;
        case '`': result += "\\(ga"; break;
        case '"': result += "\\(dq"; break;
        case '^': result += "\\(ha"; break;
        case '~': result += "\\(ti"; break;
        case '\n': result += ' '; break;
        default:
            if (c == '.' && result.empty())
                result += "\\&";
            result += c;
        }
    }
    return result;
}

std::string manPage(const PageInfo &info)
{
    std::string page;
    page += ".\\\" Generated from the dispctl command tables; do not edit.\n";
    page += fmt::format(".TH DISPCTL 1 {} \"dispctl {}\" \"User Commands\"\n", info.date, troff(info.version));
    page += ".nh\n";
    page += R"~~(.SH NAME
dispctl \- show and change the configuration of display outputs
.SH SYNOPSIS
.B dispctl
.I COMMAND
.RI [ OPTIONS .\|.\|.]
.br
.B dispctl
.I OUTPUT COMMAND
.RI [ OPTIONS .\|.\|.]
.br
.B dispctl
.I OUTPUT
.RI [ OPTIONS .\|.\|.]
.br
.B dispctl
.RB [ help | \-\-help ]
.SH DESCRIPTION
.B dispctl
shows and changes the configuration of the display outputs (monitors,
panels, projectors) of a graphical desktop session.
Each run reads the current configuration from the Dispor display\-configuration
library, shows it or changes one output in it, and hands it back to be applied;
the other outputs are moved where needed so that the layout stays closed and
starts at the origin.
A few commands talk to the compositor over the session D\-Bus, start an
external calibration program, or switch the screens' power state.
.PP
A command line has one of three shapes: a global
.I COMMAND
with its options; an
.I OUTPUT
word followed by a per\-output
.I COMMAND
and its values and options; or an
.I OUTPUT
word alone, which shows that output.
Words are compared whole and case\-sensitively.
The help, printed for
.BR help ,
for
.B \-\-help
anywhere on the line, and for a command line that names nothing usable,
lists every command.
.PP
Results go to standard output; error messages, one line each, and the help go
to standard error.
The tool keeps no state between runs and reads no configuration file.
)~~";
    globalCommandsSection(page);
    outputSection(page);
    outputCommandsSection(page);
    optionsSection(page);
    page += valuesSection;
    examplesSection(page);
    page += fixedSections;
    return page;
}
