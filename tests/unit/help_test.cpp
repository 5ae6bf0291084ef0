#include "core/help.h"
#include "core/print.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Drives the help's text the way the help printer does: a series of
// setIndent calls and writes, then the lines finished.
class Help {
public:
    Help &indent(int indent, int width)
    {
        m_text.setIndent(indent, width);
        return *this;
    }
    Help &write(std::string_view text)
    {
        printTo(m_text, "{}", text);
        return *this;
    }
    std::string text() const { return m_text.lines(); }

private:
    HelpText m_text;
};

std::string spaces(int count)
{
    return std::string(static_cast<std::size_t>(count), ' ');
}

TEST(HelpText, IndentPadsShortLines)
{
    EXPECT_EQ(Help().indent(3, 0).write("abc\n").text(), "   abc\n");
    EXPECT_EQ(Help().indent(3, 0).write("a\nb\n").text(), "   a\n   b\n");
    // An empty line stays empty: padding comes only before a character.
    EXPECT_EQ(Help().indent(3, 0).write("\n\n").text(), "\n\n");
    // Text not ended by a newline is never written.
    EXPECT_EQ(Help().indent(3, 0).write("abc").text(), "");
}

TEST(HelpText, LabelAndTextColumn)
{
    const std::string fits(20, 'x');
    EXPECT_EQ(Help().indent(3, 0).write(fits).indent(33, 80).write("text\n").text(),
              "   " + fits + spaces(10) + "text\n");

    // Ending exactly at column 33: the text follows without a gap.
    const std::string exact(30, 'x');
    EXPECT_EQ(Help().indent(3, 0).write(exact).indent(33, 80).write("text\n").text(),
              "   " + exact + "text\n");

    // One column further: the label ends its line.
    const std::string past(31, 'x');
    EXPECT_EQ(Help().indent(3, 0).write(past).indent(33, 80).write("text\n").text(),
              "   " + past + "\n" + spaces(33) + "text\n");

    // A label ended by its own newline leaves nothing pending.
    EXPECT_EQ(Help().indent(3, 0).write(past + "\n").indent(33, 80).write("text\n").text(),
              "   " + past + "\n" + spaces(33) + "text\n");
}

TEST(HelpText, WrapsAtFirstWhiteSpaceFromWidth)
{
    // From column 3, "a" * 76 ends at column 79: the space after it reaches
    // column 80 and ends the line there.
    const std::string upTo79(76, 'a');
    EXPECT_EQ(Help().indent(3, 80).write(upTo79 + " next\n").text(), "   " + upTo79 + "\n   next\n");

    // Ending at column 78, the word and the space stay below the width.
    const std::string upTo78(75, 'a');
    EXPECT_EQ(Help().indent(3, 80).write(upTo78 + " b next\n").text(), "   " + upTo78 + " b\n   next\n");

    // A word that runs past the width is never broken.
    const std::string longWord(100, 'w');
    EXPECT_EQ(Help().indent(3, 80).write("x " + longWord + " y\n").text(), "   x " + longWord + "\n   y\n");

    // Continuation lines start at the text column.
    const std::string summary =
        "Add a custom mode. A custom mode can be specified using either the resolution";
    EXPECT_EQ(Help().indent(3, 0).write("label").indent(33, 80).write(summary + "\n").text(),
              "   label" + spaces(25) + "Add a custom mode. A custom mode can be specified\n" + spaces(33) +
                  "using either the resolution\n");

    // Width 0 never wraps.
    EXPECT_EQ(Help().indent(6, 0).write(longWord + " " + longWord + "\n").text(),
              spaces(6) + longWord + " " + longWord + "\n");
}

TEST(HelpText, DropsWhiteSpaceAtBreak)
{
    // The blank at column 79 and the tab reaching 80 both vanish.
    const std::string word(75, 'a');
    EXPECT_EQ(Help().indent(3, 80).write(word + " \tnext\n").text(), "   " + word + "\n   next\n");
    for (const char blank : {'\t', '\v', '\f', '\r'}) {
        SCOPED_TRACE(int(blank));
        EXPECT_EQ(Help().indent(3, 80).write(std::string(76, 'a') + blank + "next\n").text(),
                  "   " + std::string(76, 'a') + "\n   next\n");
    }
    // A line of nothing but white space is not written at all.
    EXPECT_EQ(Help().indent(0, 3).write("   x\n").text(), "x\n");
}

TEST(HelpText, CountsCodePoints)
{
    // "…" is three bytes and one column: padding counts columns.
    EXPECT_EQ(Help().indent(3, 0).write("a…").indent(33, 80).write("t\n").text(),
              "   a…" + spaces(28) + "t\n");
    // A label of 30 columns with multi-byte characters ends at 33 exactly.
    const std::string label = "set-sdr-brightness BRIGHTNESS…";
    EXPECT_EQ(Help().indent(3, 0).write(label).indent(33, 80).write("t\n").text(), "   " + label + "t\n");
    // Width counts columns too: 5 + 1 + 2 + 1 + 2 columns stay under 12.
    EXPECT_EQ(Help().indent(0, 12).write("ééééé ab cd\n").text(), "ééééé ab cd\n");
    // Escape sequences have no special width: one column per byte.
    EXPECT_EQ(Help().write("\x1b[4mab\x1b[24m").indent(12, 0).write("t\n").text(), "\x1b[4mab\x1b[24m t\n");
}

TEST(HelpText, PendingBreakSurvivesNewline)
{
    EXPECT_EQ(Help().indent(3, 0).write("label").indent(5, 0).write("\nx\n").text(), "   label\n\n     x\n");
    // setIndent at or past the column sets nothing.
    EXPECT_EQ(Help().indent(3, 0).write("ab").indent(5, 0).write("x\n").text(), "   abx\n");
}

} // namespace
