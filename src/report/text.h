#pragma once

#include <dispor/output.h>

#include <QStringView>

#include <string>

// The coloured, tab-indented block that describes one output to people.

// The whole block, every line ending in "\n".
std::string outputText(const Dispor::Output &output);

// Writes the block to standard output in one piece.
void printOutputText(const Dispor::Output &output);

// Mode id order of the block: runs of digits compare by their value, so
// "2" comes before "10", whatever the locale.
bool modeIdLess(QStringView a, QStringView b);
