#include "generate.h"

#include "verbs.h"

#include <fmt/format.h>

namespace {

using namespace profile;

// Text for roff: backslashes and hyphens escaped, and a line never begins
// with a control character.
std::string roff(std::string_view text)
{
    std::string result;
    for (const char c : text) {
        if (c == '\\')
            result += "\\e";
        else if (c == '-')
            result += "\\-";
        else
            result += c;
    }
    if (!result.empty() && (result.front() == '.' || result.front() == '\''))
        result.insert(0, "\\&");
    return result;
}

// The profile file, for users who write or read one by hand.
constexpr const char *format = R"TEXT(.SH PROFILES
A profile is a JSON object with two keys:
.B version
(1) and
.BR outputs ,
an array with one object per connected output. Each output is named
either by the monitor's identity, the keys
.BR make ,
.B model
and
.B serial
(strings; at least one not empty), or, where the monitor's identity is
empty or shared by two connected outputs, by its connector, the key
.B connector
(such as "DP\-1"). Then:
.TP
.B enabled
true or false. A disabled output has no other key.
.TP
.B mode
{ "width", "height", "refresh" }: the mode's size in pixels and its rate in Hz.
.TP
.B position
{ "x", "y" }: the top\-left corner in the layout's logical coordinates.
.TP
.B scale
a number above 0; 1 is 100%.
.TP
.B rotation
normal, 90, 180, 270, flipped, flipped90, flipped180 or flipped270.
.TP
.B priority
1 for the primary output, 2 and on for the next, 0 for none (the default).
.TP
.B mirror
the output this one mirrors, named as outputs are (by identity or
.BR connector ).
.TP
.B vrr
never, always or automatic; only for outputs capable of VRR.
.TP
.B hdr
true or false; only for outputs capable of HDR.
.PP
Unknown keys, values of the wrong type and two entries for one output
are refused. For example:
.PP
.nf
{
    "version": 1,
    "outputs": [
        { "make": "Dell", "model": "U2720Q", "serial": "7XK1",
          "enabled": true,
          "mode": { "width": 3840, "height": 2160, "refresh": 60 },
          "position": { "x": 1920, "y": 0 }, "scale": 1.5,
          "rotation": "normal", "priority": 1, "vrr": "automatic" },
        { "connector": "eDP\-1", "enabled": false }
    ]
}
.fi
.SH MATCHING
A profile matches when its outputs are exactly the connected ones: each
of its outputs names one connected output, and no connected output is
left over. Where several profiles match, the one that names more outputs
by identity wins; two that match equally well are refused, with both
names.
)TEXT";

constexpr const char *rest = R"TEXT(.SH FILES
.TP
.I $XDG_CONFIG_HOME/dispctl/profiles/NAME.json
One profile; without an absolute XDG_CONFIG_HOME, under
.IR ~/.config .
Files are written atomically and readable by their owner only (0600); the
directories are made, or narrowed, to mode 0700.
.TP
.I /usr/lib/systemd/user/dispctl\-profile.service
Runs
.B dispctl\-profile watch
in the graphical session; not enabled by default:
.B systemctl \-\-user enable \-\-now dispctl\-profile.service
.SH EXIT STATUS
0 on success and for help that was asked for; 1 on any failure, a
command line that cannot be used included, and when
.B watch
loses the display service.
.SH EXAMPLES
.nf
dispctl\-profile save docked
dispctl\-profile apply docked \-\-dry\-run
dispctl\-profile apply \-\-auto
dispctl\-profile list
.fi
.SH SEE ALSO
.BR dispctl (1)
)TEXT";

} // namespace

std::string manualPage(const char *version, const char *date)
{
    std::string text =
        fmt::format(".TH DISPCTL\\-PROFILE 1 \"{}\" \"dispctl {}\" \"User Commands\"\n", date, version);
    text += fmt::format(".SH NAME\n{} \\- {}\n", roff(programName), roff(programSummary));
    text += ".SH SYNOPSIS\n.B dispctl\\-profile\n.I VERB\n.RI [ ARGUMENTS ]\n";
    text += ".SH DESCRIPTION\nSaves the layout of the connected outputs as a named profile, and applies it "
            "again by name, or by itself when the monitors it names are the ones connected. It works "
            "through the same library as\n.BR dispctl (1),\non every display service that serves it.\n";
    text += ".SH VERBS\n";
    for (const Verb &verb : verbs()) {
        text += fmt::format(".TP\n\\fB{}\\fR {}\n{}\n", roff(verb.name), roff(verb.synopsis),
                            roff(verb.description));
        for (const VerbOption &option : verb.options)
            text += fmt::format(".RS\n.TP\n.B {}\n{}\n.RE\n", roff(option.name), roff(option.description));
    }
    text += ".SH OPTIONS\n.TP\n.B \\-\\-help\nShow the help on standard error.\n"
            ".TP\n.B \\-\\-version\nShow the version on standard output.\n";
    text += format;
    text += rest;
    return text;
}
