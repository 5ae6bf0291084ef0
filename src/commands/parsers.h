#pragma once

#include <dispor/output.h>

#include <QString>

#include <optional>

// Value parsers shared by all commands: each checks the whole text and
// gives no value for anything it does not accept.

std::optional<int> parseInteger(QStringView text);
// Not-a-number and infinities are refused.
std::optional<double> parseDouble(QStringView text);
// A trailing "%" is optional; the number is divided by 100 either way.
std::optional<double> parsePercentage(QStringView text);
std::optional<bool> parseBool(QStringView text);
std::optional<Dispor::Output::ColorProfileSource> parseColorProfileSource(QStringView text);

// Prints "Invalid argument: {}" with the text; returns 1 for the caller.
int invalidArgument(const QString &text);
