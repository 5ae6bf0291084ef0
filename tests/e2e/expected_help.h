#pragma once

#include "harness.h"

#include <string>

// Expected texts write the escape character as "\e", to stay readable.
inline std::string unescape(std::string text)
{
    for (std::size_t at = text.find("\\e"); at != std::string::npos; at = text.find("\\e", at + 1))
        text.replace(at, 2, "\x1b");
    return text;
}

// The whole help as dispctl prints it, from help_expected.txt beside this
// file (its path given by the build: __FILE__ may be relative, as a
// compiler cache makes it).
inline std::string expectedHelp()
{
    return unescape(e2e::readFile(HELP_EXPECTED));
}
