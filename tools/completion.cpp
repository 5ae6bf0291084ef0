#include "generate.h"
#include "values.h"

#include <fmt/format.h>

#include <string>
#include <vector>

// The three scripts route a command line as the tool does: a global command
// by the first word, else a per-output command by the second, else "self"
// for the OUTPUT word alone. Positional words are counted from the command
// on, options ("--" words) left out, to find the slot being completed.

namespace {

struct Flag {
    std::string name;
    std::string description;
};

struct Entry {
    std::string scope; // "global" or "output"
    std::string name;
    std::string summary;
    std::vector<Flag> flags;
    std::vector<Slot> valueSlots;
};

Entry entryOf(const Command &command)
{
    Entry entry;
    entry.scope = isGlobal(command) ? "global" : "output";
    entry.name = command.name;
    entry.summary = command.summary;
    for (const CommandOption *option : namedOptionsOf(command))
        entry.flags.push_back({option->name, option->description ? option->description : ""});
    entry.valueSlots = slotsFor(command);
    return entry;
}

std::vector<Entry> allEntries()
{
    std::vector<Entry> entries;
    for (const Command *command : globalCommands())
        entries.push_back(entryOf(*command));
    if (const Command *self = findSelf())
        entries.push_back(entryOf(*self));
    for (const Command *command : outputCommands())
        entries.push_back(entryOf(*command));
    return entries;
}

std::string join(const std::vector<std::string> &words, const char *separator = " ")
{
    std::string result;
    for (const std::string &word : words) {
        if (!result.empty())
            result += separator;
        result += word;
    }
    return result;
}

std::vector<std::string> names(const std::vector<const Command *> &commands)
{
    std::vector<std::string> result;
    for (const Command *command : commands)
        result.push_back(command->name);
    return result;
}

// POSIX shell (bash, zsh) single quoting.
std::string shellQuote(std::string_view text)
{
    std::string result = "'";
    for (char c : text) {
        if (c == '\'')
            result += "'\\''";
        else
            result += c;
    }
    return result + "'";
}

std::string shellWords(const std::vector<std::string> &words)
{
    std::vector<std::string> quoted;
    for (const std::string &word : words)
        quoted.push_back(shellQuote(word));
    return join(quoted);
}

// A case pattern of the words: "'a'|'b'", or a pattern that never matches.
std::string casePattern(const std::vector<std::string> &words)
{
    if (words.empty())
        return "'\\0'";
    std::vector<std::string> quoted;
    for (const std::string &word : words)
        quoted.push_back(shellQuote(word));
    return join(quoted, "|");
}

std::string fishQuote(std::string_view text)
{
    std::string result = "'";
    for (char c : text) {
        if (c == '\'' || c == '\\')
            result += '\\';
        result += c;
    }
    return result + "'";
}

// The arithmetic test of a slot, in bash and zsh syntax.
std::string slotTest(const Slot &slot)
{
    if (!slot.last)
        return fmt::format("slot >= {}", slot.first);
    if (*slot.last == slot.first)
        return fmt::format("slot == {}", slot.first);
    return fmt::format("slot >= {} && slot <= {}", slot.first, *slot.last);
}

// zsh's _describe splits "name:description" at the first unescaped colon.
std::string describeItem(std::string_view name, std::string_view description)
{
    std::string item;
    for (char c : name) {
        if (c == ':')
            item += '\\';
        item += c;
    }
    return shellQuote(item + ":" + std::string(description));
}

const char *const bashHead = R"~~(# bash completion for dispctl
# Generated from the dispctl command tables; do not edit.

_dispctl_outputs()
{
    "$1" list-outputs --names 2>/dev/null
    printf '%s\n' active-output primary-output
}

# Mode ids are the text before the first ':' of each list-modes line.
_dispctl_modes()
{
    local line
    "$1" "$2" list-modes 2>/dev/null | while IFS= read -r line; do
        [[ $line == *:* ]] && printf '%s\n' "${line%%:*}"
    done
}

# list-custom-modes writes "INDEX: ..." lines to standard error.
_dispctl_custom_modes()
{
    local line
    "$1" "$2" list-custom-modes 2>&1 >/dev/null | while IFS= read -r line; do
        [[ $line =~ ^[0-9]+: ]] && printf '%s\n' "${line%%:*}"
    done
}

_dispctl()
{
    local prog=${1:-${COMP_WORDS[0]}}
    prog=${prog/#\~/$HOME}
    local cword=$COMP_CWORD cur=${COMP_WORDS[COMP_CWORD]}
    local -a words=("${COMP_WORDS[@]}") candidates=()
    local scope=output command=self start=2 files= i slot=0 word
    COMPREPLY=()
)~~";

const char *const bashTail = R"~~(
    for word in "${candidates[@]}"; do
        [[ $word == "$cur"* ]] && COMPREPLY+=("$word")
    done
    if [[ -n $files ]]; then
        compopt -o filenames 2>/dev/null
        mapfile -t -O "${#COMPREPLY[@]}" COMPREPLY < <(compgen -f -- "$cur")
    fi
    return 0
}

complete -F _dispctl dispctl
)~~";

std::string bashSlot(const Slot &slot)
{
    switch (slot.source) {
    case ValueSource::Words:
        return "candidates+=(" + shellWords(slot.words) + ")";
    case ValueSource::Outputs:
        return std::string(slot.words.empty() ? "" : "candidates+=(" + shellWords(slot.words) + "); ")
               + "mapfile -t -O \"${#candidates[@]}\" candidates < <(_dispctl_outputs \"$prog\")";
    case ValueSource::Modes:
        return "mapfile -t -O \"${#candidates[@]}\" candidates < <(_dispctl_modes \"$prog\" \"${words[1]}\")";
    case ValueSource::CustomModes:
        return "mapfile -t -O \"${#candidates[@]}\" candidates < <(_dispctl_custom_modes \"$prog\" "
               "\"${words[1]}\")";
    case ValueSource::Files:
        return "files=1";
    }
    return ":";
}

std::string zshSlot(const Slot &slot)
{
    switch (slot.source) {
    case ValueSource::Words:
        return "compadd -- " + shellWords(slot.words);
    case ValueSource::Outputs:
        return std::string(slot.words.empty() ? "" : "compadd -- " + shellWords(slot.words) + "; ")
               + "_dispctl_outputs \"$prog\"";
    case ValueSource::Modes:
        return "_dispctl_modes \"$prog\" \"$first\"";
    case ValueSource::CustomModes:
        return "_dispctl_custom_modes \"$prog\" \"$first\"";
    case ValueSource::Files:
        return "_files";
    }
    return ":";
}

const char *const zshHead = R"~~(#compdef dispctl
# zsh completion for dispctl
# Generated from the dispctl command tables; do not edit.

_dispctl_outputs() {
  local -a names
  names=(${(f)"$("$1" list-outputs --names 2>/dev/null)"} active-output primary-output)
  compadd -- "${names[@]}"
}

# Mode ids are the text before the first ':' of each list-modes line.
_dispctl_modes() {
  local -a ids
  local line
  for line in ${(f)"$("$1" "$2" list-modes 2>/dev/null)"}; do
    [[ $line == *:* ]] && ids+=("${line%%:*}")
  done
  compadd -- "${ids[@]}"
}

# list-custom-modes writes "INDEX: ..." lines to standard error.
_dispctl_custom_modes() {
  local -a ids
  local line
  for line in ${(f)"$("$1" "$2" list-custom-modes 2>&1 >/dev/null)"}; do
    [[ $line == <->:* ]] && ids+=("${line%%:*}")
  done
  compadd -- "${ids[@]}"
}

_dispctl() {
  local prog=${words[1]/#\~/$HOME} cur=${words[CURRENT]} first=${words[2]}
  local scope=output command=self
  local -i cword=$(( CURRENT - 1 )) start=2 slot=0 i
  local -a globals commands opts
)~~";

const char *const fishHead = R"~~(# fish completion for dispctl
# Generated from the dispctl command tables; do not edit.

# Prints the scope, the command and the index of its first positional word
# for the words before the cursor.
function __dispctl_route
    set -l words (commandline -opc)
    if contains -- "$words[2]" $__dispctl_globals
        echo global $words[2] 3
    else if test (count $words) -ge 3; and contains -- "$words[3]" $__dispctl_commands
        echo output $words[3] 4
    else
        echo output self 3
    end
end

function __dispctl_first
    test (count (commandline -opc)) -eq 1
end

function __dispctl_output_command
    set -l words (commandline -opc)
    test (count $words) -eq 2; and not contains -- "$words[2]" $__dispctl_globals
end

# __dispctl_command SCOPE COMMAND
function __dispctl_command
    test (count (commandline -opc)) -ge 2; or return 1
    set -l route (string split ' ' (__dispctl_route))
    test "$route[1]" = $argv[1] -a "$route[2]" = $argv[2]
end

# __dispctl_slot SCOPE COMMAND FIRST [LAST]: the word being completed is
# positional word FIRST to LAST (from 0) of the command.
function __dispctl_slot
    __dispctl_command $argv[1] $argv[2]; or return 1
    set -l words (commandline -opc)
    set -l route (string split ' ' (__dispctl_route))
    set -l slot 0
    for i in (seq $route[3] (count $words))
        string match -q -- '--*' $words[$i]; or set slot (math $slot + 1)
    end
    test $slot -ge $argv[3]; or return 1
    test (count $argv) -lt 4; or test $slot -le $argv[4]
end

function __dispctl_outputs
    set -l words (commandline -opc)
    $words[1] list-outputs --names 2>/dev/null
    printf '%s\n' active-output primary-output
end

# Mode ids are the text before the first ':' of each list-modes line.
function __dispctl_modes
    set -l words (commandline -opc)
    $words[1] $words[2] list-modes 2>/dev/null | string replace -r -f '^([^:]*):.*' '$1'
end

# list-custom-modes writes "INDEX: ..." lines to standard error.
function __dispctl_custom_modes
    set -l words (commandline -opc)
    $words[1] $words[2] list-custom-modes 2>&1 >/dev/null | string replace -r -f '^([0-9]+):.*' '$1'
end

complete -c dispctl -f
complete -c dispctl -l help -d 'Print the help'
)~~";

std::string fishSlot(const Entry &entry, const Slot &slot)
{
    std::string condition = fmt::format("__dispctl_slot {} {} {}", entry.scope, entry.name, slot.first);
    if (slot.last)
        condition += fmt::format(" {}", *slot.last);
    const std::string prefix = "complete -c dispctl -n " + fishQuote(condition);
    switch (slot.source) {
    case ValueSource::Words:
        return prefix + " -a " + fishQuote(join(slot.words)) + "\n";
    case ValueSource::Outputs:
        return prefix + " -a " + fishQuote(join(slot.words) + (slot.words.empty() ? "" : " ") + "(__dispctl_outputs)")
               + "\n";
    case ValueSource::Modes:
        return prefix + " -a '(__dispctl_modes)'\n";
    case ValueSource::CustomModes:
        return prefix + " -a '(__dispctl_custom_modes)'\n";
    case ValueSource::Files:
        return prefix + " -F\n";
    }
    return "";
}

} // namespace

std::string bashCompletion()
{
    const std::vector<Entry> entries = allEntries();
    const std::vector<std::string> globals = names(globalCommands());
    const std::vector<std::string> commands = names(outputCommands());

    std::string script = bashHead;
    script += fmt::format(R"~~(
    if (( cword == 1 )); then
        if [[ $cur == -* ]]; then
            candidates=(--help)
        else
            candidates=({} help)
            mapfile -t -O "${{#candidates[@]}}" candidates < <(_dispctl_outputs "$prog")
        fi
    else
        case ${{words[1]}} in
            {}) scope=global command=${{words[1]}} ;;
            *)
                if (( cword > 2 )); then
                    case ${{words[2]}} in
                        {}) command=${{words[2]}} start=3 ;;
                    esac
                fi ;;
        esac
        if [[ $scope == output && $command == self ]] && (( cword == 2 )) && [[ $cur != -* ]]; then
            candidates=({})
        else
            for ((i = start; i < cword; i++)); do
                [[ ${{words[i]}} == --* ]] || ((slot++))
            done
            if [[ $cur == -* ]]; then
                candidates+=(--help)
                case $scope:$command in
)~~",
                          shellWords(globals), casePattern(globals), casePattern(commands), shellWords(commands));
    for (const Entry &entry : entries) {
        if (entry.flags.empty())
            continue;
        std::vector<std::string> flags;
        for (const Flag &flag : entry.flags)
            flags.push_back("--" + flag.name);
        script += fmt::format("                    {}) candidates+=({}) ;;\n",
                              shellQuote(entry.scope + ":" + entry.name), shellWords(flags));
    }
    script += "                esac\n            fi\n            case $scope:$command in\n";
    for (const Entry &entry : entries) {
        if (entry.valueSlots.empty())
            continue;
        script += fmt::format("                {})\n", shellQuote(entry.scope + ":" + entry.name));
        for (const Slot &slot : entry.valueSlots)
            script += fmt::format("                    if (( {} )); then {}; fi\n", slotTest(slot), bashSlot(slot));
        script += "                    ;;\n";
    }
    script += "            esac\n        fi\n    fi\n";
    script += bashTail;
    return script;
}

std::string zshCompletion()
{
    const std::vector<Entry> entries = allEntries();
    std::vector<std::string> globalItems;
    for (const Command *command : globalCommands())
        globalItems.push_back(describeItem(command->name, command->summary));
    globalItems.push_back(describeItem("help", "Print the help"));
    std::vector<std::string> commandItems;
    for (const Command *command : outputCommands())
        commandItems.push_back(describeItem(command->name, command->summary));

    std::string script = zshHead;
    script += "  globals=(\n    " + join(globalItems, "\n    ") + "\n  )\n";
    script += "  commands=(\n    " + join(commandItems, "\n    ") + "\n  )\n";
    script += fmt::format(R"~~(
  if (( cword == 1 )); then
    if [[ $cur == -* ]]; then
      compadd -- --help
    else
      _describe -t commands 'command' globals
      _dispctl_outputs "$prog"
    fi
    return
  fi
  case $first in
    ({}) scope=global command=$first ;;
    (*)
      if (( cword > 2 )); then
        case ${{words[3]}} in
          ({}) command=${{words[3]}} start=3 ;;
        esac
      fi ;;
  esac
  if [[ $scope == output && $command == self ]] && (( cword == 2 )) && [[ $cur != -* ]]; then
    _describe -t commands 'output command' commands
    return
  fi
  for (( i = start; i < cword; i++ )); do
    [[ ${{words[i+1]}} == --* ]] || (( slot++ ))
  done
  if [[ $cur == -* ]]; then
    opts=('--help:Print the help')
    case $scope:$command in
)~~",
                          casePattern(names(globalCommands())), casePattern(names(outputCommands())));
    for (const Entry &entry : entries) {
        if (entry.flags.empty())
            continue;
        std::vector<std::string> items;
        for (const Flag &flag : entry.flags)
            items.push_back(describeItem("--" + flag.name, flag.description));
        script += fmt::format("      ({}) opts+=({}) ;;\n", shellQuote(entry.scope + ":" + entry.name), join(items));
    }
    script += "    esac\n    _describe -t options 'option' opts\n  fi\n  case $scope:$command in\n";
    for (const Entry &entry : entries) {
        if (entry.valueSlots.empty())
            continue;
        script += fmt::format("    ({})\n", shellQuote(entry.scope + ":" + entry.name));
        for (const Slot &slot : entry.valueSlots)
            script += fmt::format("      if (( {} )); then {}; fi\n", slotTest(slot), zshSlot(slot));
        script += "      ;;\n";
    }
    script += R"~~(  esac
  return 0
}

if [[ $funcstack[1] == _dispctl ]]; then
  _dispctl "$@"
else
  compdef _dispctl dispctl
fi
)~~";
    return script;
}

std::string fishCompletion()
{
    const std::vector<Entry> entries = allEntries();
    std::string script = "set -g __dispctl_globals " + join(names(globalCommands())) + "\n";
    script += "set -g __dispctl_commands " + join(names(outputCommands())) + "\n\n";
    script += fishHead;
    for (const Command *command : globalCommands())
        script += fmt::format("complete -c dispctl -n __dispctl_first -a {} -d {}\n", fishQuote(command->name),
                              fishQuote(command->summary));
    script += "complete -c dispctl -n __dispctl_first -a help -d 'Print the help'\n";
    script += "complete -c dispctl -n __dispctl_first -a '(__dispctl_outputs)' -d Output\n";
    for (const Command *command : outputCommands())
        script += fmt::format("complete -c dispctl -n __dispctl_output_command -a {} -d {}\n",
                              fishQuote(command->name), fishQuote(command->summary));
    for (const Entry &entry : entries) {
        for (const Flag &flag : entry.flags)
            script += fmt::format("complete -c dispctl -n {} -l {} -d {}\n",
                                  fishQuote("__dispctl_command " + entry.scope + " " + entry.name),
                                  fishQuote(flag.name), fishQuote(flag.description));
        for (const Slot &slot : entry.valueSlots)
            script += fishSlot(entry, slot);
    }
    return script;
}

std::string valueWordList()
{
    std::string result;
    for (const Entry &entry : allEntries()) {
        for (const Slot &slot : entry.valueSlots) {
            for (const std::string &word : slot.words)
                result += fmt::format("{}\t{}\t{}\n", entry.name, slot.first, word);
        }
    }
    return result;
}
