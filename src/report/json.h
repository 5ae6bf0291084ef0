#pragma once

#include <dispor/output.h>

#include <QJsonObject>

// The description of one output for scripts.

QJsonObject outputToJson(const Dispor::Output &output);
QJsonObject modeToJson(const Dispor::Output &output, const Dispor::ModePtr &mode);

// The object as an indented document on standard output.
void printOutputJson(const Dispor::Output &output);
