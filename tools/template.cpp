#include "template.h"

#include <fmt/format.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>

#ifndef DISPCTL_TEMPLATE_DIR
#define DISPCTL_TEMPLATE_DIR "templates"
#endif

std::optional<Template> loadTemplate(std::string_view name)
{
    const std::string path = fmt::format("{}/{}.in", DISPCTL_TEMPLATE_DIR, name);
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (!file) {
        fmt::print(stderr, "dispctl-gen: cannot read {}: {}\n", path, std::strerror(errno));
        return std::nullopt;
    }
    Template frame{std::string(name), {}};
    char buffer[4096];
    for (std::size_t count; (count = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
        frame.text.append(buffer, count);
    const bool failed = std::ferror(file);
    std::fclose(file);
    if (failed) {
        fmt::print(stderr, "dispctl-gen: cannot read {}\n", path);
        return std::nullopt;
    }
    return frame;
}

std::optional<std::string> fill(const Template &frame, const TemplateValues &values)
{
    const std::string_view text = frame.text;
    std::string result;
    std::set<std::string_view> used;
    std::size_t done = 0;
    for (std::size_t open; (open = text.find("{{", done)) != std::string_view::npos;) {
        const std::size_t close = text.find("}}", open + 2);
        if (close == std::string_view::npos)
            break;
        const std::string_view name = text.substr(open + 2, close - open - 2);
        const auto value = values.find(name);
        if (value == values.end()) {
            fmt::print(stderr, "dispctl-gen: {}.in: no value for {{{{{}}}}}\n", frame.name, name);
            return std::nullopt;
        }
        used.insert(value->first);
        std::size_t end = close + 2;
        const bool wholeLine =
            (open == 0 || text[open - 1] == '\n') && end < text.size() && text[end] == '\n';
        if (wholeLine)
            ++end;
        result.append(text.substr(done, open - done));
        result += value->second;
        done = end;
    }
    result.append(text.substr(done));
    // A value without a place is text the file would silently lack.
    for (const auto &entry : values) {
        if (!used.contains(entry.first)) {
            fmt::print(stderr, "dispctl-gen: {}.in: no place for {{{{{}}}}}\n", frame.name, entry.first);
            return std::nullopt;
        }
    }
    return result;
}
