#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

// A generated file's fixed text, kept in tools/templates/NAME.in, with
// "{{name}}" where the generator puts what it works out from the tables.
// A placeholder alone on its line stands for whole lines: its value is
// lines that each end in a newline, or nothing, and the template's line
// goes with it. Anywhere else the value is put in as it is.
struct Template {
    std::string name;
    std::string text;
};

using TemplateValues = std::map<std::string, std::string, std::less<>>;

// The template of that file name, read from the directory the build names;
// none after printing why.
std::optional<Template> loadTemplate(std::string_view name);

// The template with every placeholder filled; none after printing the
// first placeholder without a value or value without a placeholder.
std::optional<std::string> fill(const Template &frame, const TemplateValues &values);
