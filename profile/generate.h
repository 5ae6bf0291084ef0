#pragma once

// The manual page and the completions of dispctl-profile, made from its
// verb records by the build.

#include <string>

std::string manualPage(const char *version, const char *date);
std::string bashCompletion();
std::string zshCompletion();
std::string fishCompletion();
