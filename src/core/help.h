#pragma once

#include <string>
#include <string_view>

// The help's text as it is written: text starts at an indent (shorter
// lines are padded), lines wrap at the first white space at or after the
// width, and a label that ran past the next indent ends its line first.
// Plain bytes into a string: a C++ stream would set up the locale on
// every run for nothing.
class HelpText {
public:
    // A width of 0 never wraps.
    void setIndent(int indent, int width);
    void write(std::string_view text);
    // The finished lines; a line never finished is dropped.
    const std::string &lines() const { return finished; }

private:
    void put(char byte);
    void endLine(std::size_t length);

    std::string finished;
    std::string line; // not yet finished
    int indent = 0;
    int width = 0;
    int column = 0; // code points, not bytes
    bool breakPending = false;
};

// printTo() and printLineTo() write into the help's text.
void writeTo(HelpText &help, std::string_view text);

// The whole help, generated from the command tables, on standard error.
void printHelp();
