// Writes the manual page and the shell completions of dispctl from its
// command tables, which this program links like dispctl itself.
//
//   dispctl-gen DIRECTORY   writes dispctl.1, dispctl.bash, _dispctl, dispctl.fish
//   dispctl-gen --words     lists the fixed completion words per command
//   dispctl-gen --troff     escapes each line of standard input as troff text
//   dispctl-gen --backends  prints the Markdown table of what each backend carries

#include "generate.h"

#include <fmt/format.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#ifndef DISPCTL_VERSION
#define DISPCTL_VERSION "0"
#endif
#ifndef DISPCTL_DATE
#define DISPCTL_DATE "1970-01-01"
#endif

namespace {

// Written whole to a temporary name and renamed, so that an interrupted
// build never leaves a truncated file that looks up to date. No text: its
// writer failed and has said why.
bool writeFile(const std::string &path, const std::optional<std::string> &text)
{
    if (!text)
        return false;
    const std::string temporary = path + ".tmp";
    std::FILE *file = std::fopen(temporary.c_str(), "wb");
    if (!file) {
        fmt::print(stderr, "dispctl-gen: cannot write {}: {}\n", temporary, std::strerror(errno));
        return false;
    }
    const bool written = std::fwrite(text->data(), 1, text->size(), file) == text->size();
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        fmt::print(stderr, "dispctl-gen: cannot write {}\n", temporary);
        std::remove(temporary.c_str());
        return false;
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        fmt::print(stderr, "dispctl-gen: cannot rename {}: {}\n", temporary, std::strerror(errno));
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--words") == 0) {
        fmt::print("{}", valueWordList());
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--backends") == 0) {
        const std::optional<std::string> table = backendMarkdown();
        if (table)
            fmt::print("{}", *table);
        return table ? 0 : 1;
    }
    if (argc == 2 && std::strcmp(argv[1], "--troff") == 0) {
        std::string line;
        for (int c; (c = std::getchar()) != EOF;) {
            if (c != '\n') {
                line += static_cast<char>(c);
                continue;
            }
            fmt::print("{}\n", troff(line));
            line.clear();
        }
        if (!line.empty())
            fmt::print("{}\n", troff(line));
        return 0;
    }
    if (argc != 2) {
        fmt::print(stderr, "usage: dispctl-gen DIRECTORY | --words | --troff | --backends\n");
        return 1;
    }
    const std::string directory = argv[1];
    const PageInfo info{DISPCTL_VERSION, DISPCTL_DATE};
    const bool ok = writeFile(directory + "/dispctl.1", manPage(info)) &&
                    writeFile(directory + "/dispctl.bash", bashCompletion()) &&
                    writeFile(directory + "/_dispctl", zshCompletion()) &&
                    writeFile(directory + "/dispctl.fish", fishCompletion());
    return ok ? 0 : 1;
}
