#include "generate.h"

#include "verbs.h"

#include <fmt/format.h>

namespace {

using namespace profile;

// Inside single quotes of a POSIX shell.
std::string quoted(const char *text)
{
    std::string result = "'";
    for (const char *c = text; *c; ++c)
        result += *c == '\'' ? std::string("'\\''") : std::string(1, *c);
    return result + "'";
}

// Inside single quotes of fish, which knows \\ and \' there.
std::string fishQuoted(const char *text)
{
    std::string result = "'";
    for (const char *c = text; *c; ++c) {
        if (*c == '\'' || *c == '\\')
            result += '\\';
        result += *c;
    }
    return result + "'";
}

std::string verbWords()
{
    std::string words;
    for (const Verb &verb : verbs())
        words += fmt::format("{} ", verb.name);
    return words + "--help --version";
}

std::string optionWords(const Verb &verb)
{
    std::string words;
    for (const VerbOption &option : verb.options)
        words += words.empty() ? option.name : fmt::format(" {}", option.name);
    return words;
}

constexpr const char *profilesDir = "${XDG_CONFIG_HOME:-$HOME/.config}";

} // namespace

std::string bashCompletion()
{
    std::string cases;
    for (const Verb &verb : verbs())
        cases += fmt::format("        {}) opts={}; names={} ;;\n", verb.name,
                             quoted(optionWords(verb).c_str()), verb.takesName ? 1 : 0);
    return fmt::format(R"TEXT(# bash completion for {0}, generated from its verb records.
_{1}_names()
{{
    local dir={2}/dispctl/profiles file
    for file in "$dir"/*.json; do
        [[ -f $file ]] || continue
        file=${{file##*/}}
        printf '%s\n' "${{file%.json}}"
    done
}}

_{1}()
{{
    local cur=${{COMP_WORDS[COMP_CWORD]}} opts= names=0
    if ((COMP_CWORD == 1)); then
        mapfile -t COMPREPLY < <(compgen -W '{3}' -- "$cur")
        return
    fi
    case ${{COMP_WORDS[1]}} in
{4}    esac
    if [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$opts" -- "$cur")
    elif ((names)); then
        mapfile -t COMPREPLY < <(compgen -W "$(_{1}_names)" -- "$cur")
    fi
}}
complete -F _{1} {0}
)TEXT",
                       programName, "dispctl_profile", profilesDir, verbWords(), cases);
}

std::string zshCompletion()
{
    std::string described;
    std::string cases;
    for (const Verb &verb : verbs()) {
        described +=
            fmt::format("        {}\n", quoted(fmt::format("{}:{}", verb.name, verb.summary).c_str()));
        std::string options;
        for (const VerbOption &option : verb.options)
            options +=
                fmt::format(" {}", quoted(fmt::format("{}:{}", option.name, option.description).c_str()));
        cases +=
            fmt::format("        {}) opts=({}); names={} ;;\n", verb.name, options, verb.takesName ? 1 : 0);
    }
    return fmt::format(R"TEXT(#compdef {0}
# zsh completion for {0}, generated from its verb records.
local -a verbs opts profiles
local names=0
if ((CURRENT == 2)); then
    verbs=(
{1}        '--help:Show the help'
        '--version:Show the version'
    )
    _describe -t verbs verb verbs
    return
fi
case $words[2] in
{2}esac
profiles=({3}/dispctl/profiles/*.json(N:t:r))
_describe -t options option opts
((names)) && compadd -a profiles
)TEXT",
                       programName, described, cases, profilesDir);
}

std::string fishCompletion()
{
    std::string text = fmt::format(R"TEXT(# fish completion for {0}, generated from its verb records.
function __dispctl_profile_names
    set -l dir $HOME/.config
    string match -q '/*' -- "$XDG_CONFIG_HOME"; and set dir $XDG_CONFIG_HOME
    for file in $dir/dispctl/profiles/*.json
        string replace -r '\.json$' '' -- (basename $file)
    end
end
complete -c {0} -f
complete -c {0} -n __fish_use_subcommand -l help -d 'Show the help'
complete -c {0} -n __fish_use_subcommand -l version -d 'Show the version'
)TEXT",
                                   programName);
    for (const Verb &verb : verbs()) {
        text += fmt::format("complete -c {} -n __fish_use_subcommand -a {} -d {}\n", programName, verb.name,
                            fishQuoted(verb.summary));
        for (const VerbOption &option : verb.options)
            text += fmt::format("complete -c {} -n '__fish_seen_subcommand_from {}' -l {} -d {}\n",
                                programName, verb.name, option.name + 2, fishQuoted(option.description));
        if (verb.takesName)
            text += fmt::format(
                "complete -c {} -n '__fish_seen_subcommand_from {}' -a '(__dispctl_profile_names)'\n",
                programName, verb.name);
    }
    return text;
}
