#pragma once

#include <dispor/output.h>

#include <QJsonObject>

// The description of one output for scripts.

QJsonObject outputToJson(const Dispor::Output &output);
QJsonObject modeToJson(const Dispor::Output &output, const Dispor::ModePtr &mode);

class JsonWriter;
// The same object written straight out, byte for byte as QJsonDocument would.
void writeOutputJson(JsonWriter &json, const Dispor::Output &output);

// The object as an indented document on standard output.
void printOutputJson(const Dispor::Output &output);
