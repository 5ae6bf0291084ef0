// What each backend carries of every command, from the commands' records
// (the settings they change) and the library's reach tables (what each
// server refuses, offers and carries under a condition).

#include "core/command.h"
#include "generate.h"
#include "reach.h"

#include <fmt/format.h>

#include <QString>

#include <algorithm>
#include <string>
#include <vector>

namespace {

std::vector<std::string> unknown;

std::vector<const Command *> byName()
{
    std::vector<const Command *> commands;
    for (const Command &command : commandTable()) {
        // A misspelt setting would read as carried everywhere.
        const QString settings = QString::fromLatin1(command.settings ? command.settings : "");
        for (const QString &key : settings.split(u' ', Qt::SkipEmptyParts)) {
            if (!Dispor::Reach::known(key.toLatin1().constData()))
                unknown.push_back(std::string(command.name) + ": " + key.toStdString());
        }
        commands.push_back(&command);
    }
    std::sort(commands.begin(), commands.end(),
              [](const Command *a, const Command *b) { return std::string_view(a->name) < b->name; });
    return commands;
}

std::string cellOf(const Dispor::Reach::Server &server, const Command &command)
{
    return Dispor::Reach::cell(server, command.settings).toStdString();
}

std::optional<std::string> checked(std::string text)
{
    if (unknown.empty())
        return text;
    fmt::print(stderr, "dispctl-gen: a setting the library does not know: {}\n", unknown.front());
    return std::nullopt;
}

std::string markdown()
{
    std::string table = "| command |";
    std::string rule = "|---|";
    for (const auto &server : Dispor::Reach::servers()) {
        table += std::string(" ") + server.title + " |";
        rule += "---|";
    }
    table += "\n" + rule + "\n";
    for (const Command *command : byName()) {
        table += std::string("| `") + command->name + "` |";
        for (const auto &server : Dispor::Reach::servers()) {
            std::string cell = cellOf(server, *command);
            // A bar would end the cell.
            for (std::size_t at = 0; (at = cell.find('|', at)) != std::string::npos; at += 2)
                cell.replace(at, 1, "\\|");
            table += " " + cell + " |";
        }
        table += "\n";
    }
    return table;
}

// Commands that a backend carries alike share one line.
std::string entries()
{
    std::string entries;
    const std::vector<const Command *> commands = byName();
    for (const auto &server : Dispor::Reach::servers()) {
        entries += ".TP\n.B " + troff(server.title) + "\n";
        std::vector<std::pair<std::string, std::vector<std::string>>> lines;
        for (const Command *command : commands) {
            const std::string cell = cellOf(server, *command);
            if (cell == "yes")
                continue;
            auto line =
                std::find_if(lines.begin(), lines.end(), [&](const auto &l) { return l.first == cell; });
            if (line == lines.end())
                line = lines.insert(lines.end(), {cell, {}});
            line->second.push_back(command->name);
        }
        for (std::size_t i = 0; i < lines.size(); ++i) {
            std::string names;
            for (const std::string &name : lines[i].second)
                names += (names.empty() ? "" : ", ") + name;
            entries += (i ? ".br\n" : "") + troff(names) + ": " + troff(lines[i].first) + ".\n";
        }
        if (lines.empty())
            entries += "Every command.\n";
    }
    return entries;
}

} // namespace

std::optional<std::string> backendMarkdown()
{
    return checked(markdown());
}

std::optional<std::string> backendEntries()
{
    return checked(entries());
}
