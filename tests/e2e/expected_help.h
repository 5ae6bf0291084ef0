#pragma once

#include "harness.h"

#include <filesystem>
#include <string>

// Expected texts write the escape character as "\e", to stay readable.
inline std::string unescape(std::string text)
{
    for (std::size_t at = text.find("\\e"); at != std::string::npos; at = text.find("\\e", at + 1))
        text.replace(at, 2, "\x1b");
    return text;
}

// The whole help as dispctl prints it, from help_expected.txt beside this file.
inline std::string expectedHelp()
{
    const std::filesystem::path file = std::filesystem::path(__FILE__).parent_path() / "help_expected.txt";
    return unescape(e2e::readFile(file.string()));
}
