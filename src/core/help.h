#pragma once

#include <ostream>
#include <streambuf>
#include <string>

// A stream buffer for the help: text starts at an indent (shorter lines are
// padded), lines wrap at the first white space at or after the width, and
// a label that ran past the next indent ends its line first. It has no put
// area, so every byte passes through overflow().
class HelpStreambuf : public std::streambuf {
public:
    explicit HelpStreambuf(std::streambuf *target);

    // A width of 0 never wraps.
    void setIndent(int indent, int width);

protected:
    int_type overflow(int_type ch) override;

private:
    void writeLine(std::size_t length);

    std::streambuf *target;
    std::string line; // not yet written; dropped if never finished
    int indent = 0;
    int width = 0;
    int column = 0; // code points, not bytes
    bool breakPending = false;
};

class HelpStream : public std::ostream {
public:
    explicit HelpStream(std::streambuf *target);

private:
    HelpStreambuf buffer;
};

// The whole help, generated from the command tables, on standard error.
void printHelp();
