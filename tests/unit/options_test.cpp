#include "core/command.h"
#include "core/options.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Collects what goes to standard error. The descriptor is pointed away from
// any terminal meanwhile, so messages take the C stream, which writes here.
class CapturedStderr {
public:
    CapturedStderr()
        : m_savedFd(::dup(STDERR_FILENO)), m_saved(stderr), m_file(open_memstream(&m_data, &m_size))
    {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDERR_FILENO);
        ::close(null);
        stderr = m_file;
    }
    ~CapturedStderr()
    {
        stderr = m_saved;
        std::fclose(m_file);
        std::free(m_data);
        ::dup2(m_savedFd, STDERR_FILENO);
        ::close(m_savedFd);
    }
    std::string text() const
    {
        std::fflush(m_file);
        return std::string(m_data, m_size);
    }

private:
    int m_savedFd;
    FILE *m_saved;
    char *m_data = nullptr;
    size_t m_size = 0;
    FILE *m_file;
};

const Command &command(const char *name)
{
    for (const Command &record : commandTable()) {
        if (std::strcmp(record.name, name) == 0)
            return record;
    }
    ADD_FAILURE() << "no command " << name;
    static const Command missing{nullptr, "missing", "", nullptr, nullptr, nullptr, nullptr};
    return missing;
}

// The variables are filled once per process in a run; here many parses
// share them, so each case starts from empty.
void resetVariables(const std::vector<const CommandOption *> &records)
{
    for (const CommandOption *record : records) {
        if (record->kind == OptionKind::Positional)
            static_cast<QStringList *>(record->target)->clear();
        else if (!record->valueName)
            *static_cast<bool *>(record->target) = false;
        else
            static_cast<QString *>(record->target)->clear();
    }
}

const CommandOption *record(const Command &cmd, const char *name)
{
    for (const CommandOption *option : optionsFor(cmd)) {
        if (name ? option->name && std::strcmp(option->name, name) == 0
                 : option->kind == OptionKind::Positional)
            return option;
    }
    ADD_FAILURE() << "no option " << (name ? name : "<positional>") << " of " << cmd.name;
    return nullptr;
}

bool flag(const char *commandName, const char *name)
{
    const CommandOption *option = record(command(commandName), name);
    return option && *static_cast<const bool *>(option->target);
}

QStringList positional(const char *commandName)
{
    const CommandOption *option = record(command(commandName), nullptr);
    return option ? *static_cast<const QStringList *>(option->target) : QStringList{"<none>"};
}

struct Outcome {
    bool accepted;
    std::string message;
    bool operator==(const Outcome &) const = default;
};

std::ostream &operator<<(std::ostream &os, const Outcome &outcome)
{
    return os << (outcome.accepted ? "accepted" : "rejected") << " [" << outcome.message << "]";
}

Outcome parse(const char *commandName, const QStringList &words)
{
    const Command &cmd = command(commandName);
    resetVariables(optionsFor(cmd));
    CapturedStderr err;
    const bool accepted = parseOptions(cmd, words);
    return {accepted, err.text()};
}

// Leaves every variable empty again for the tests that follow.
class Options : public ::testing::Test {
protected:
    void TearDown() override
    {
        std::vector<const CommandOption *> all;
        for (const CommandOption &record : optionTable())
            all.push_back(&record);
        resetVariables(all);
    }
};

std::vector<uint32_t> flat(const std::vector<Arity> &arities)
{
    std::vector<uint32_t> result;
    for (const Arity &arity : arities) {
        result.push_back(arity.min);
        result.push_back(arity.max ? *arity.max : UINT32_MAX);
    }
    return result;
}

TEST_F(Options, Arities)
{
    constexpr uint32_t unbounded = UINT32_MAX;
    EXPECT_EQ(flat(parseArities("X Y")), (std::vector<uint32_t>{2, 2}));
    EXPECT_EQ(flat(parseArities("OUTPUT")), (std::vector<uint32_t>{1, 1}));
    EXPECT_EQ(flat(parseArities("MODE;CLOCK HDISPLAY HSYNC_START HSYNC_END HTOTAL VDISPLAY VSYNC_START "
                                "VSYNC_END VTOTAL FLAG*")),
              (std::vector<uint32_t>{1, 1, 9, unbounded}));
    EXPECT_EQ(flat(parseArities("FILE*")), (std::vector<uint32_t>{0, unbounded}));
    // Words after a "*" word still count toward the minimum.
    EXPECT_EQ(flat(parseArities("A B* C;D")), (std::vector<uint32_t>{2, unbounded, 1, 1}));
}

TEST_F(Options, RealRecords)
{
    const QStringList timings = {"712.75", "3840", "4160", "4576", "5312", "2160", "2163", "2168", "2237"};
    const struct {
        const char *command;
        QStringList words;
        Outcome outcome;
    } cases[] = {
        {"set-position", {"100", "200"}, {true, ""}},
        {"set-position", {"100"}, {false, "Invalid arguments: 100\n"}},
        {"set-position", {}, {false, "Invalid arguments: \n"}},
        {"set-position", {"1", "2", "3"}, {false, "Invalid arguments: 1 2 3\n"}},
        {"set-position", {"-10", "-20"}, {true, ""}},
        {"set-position", {"", "5"}, {true, ""}},
        {"set-position", {""}, {false, "Invalid arguments: \n"}},
        {"set-position", {"--"}, {false, "Unknown argument: --\n"}},
        {"add-custom-mode", {"1920x1080@60"}, {true, ""}},
        {"add-custom-mode", timings, {true, ""}},
        {"add-custom-mode", timings + QStringList{"-hsync", "+vsync"}, {true, ""}},
        {"add-custom-mode", {"1", "2"}, {false, "Invalid arguments: 1 2\n"}},
        {"add-custom-mode",
         timings.mid(0, 8),
         {false, "Invalid arguments: 712.75 3840 4160 4576 5312 2160 2163 2168\n"}},
        {"add-custom-mode", {}, {false, "Invalid arguments: \n"}},
        {"add-custom-mode", {"--reduced-blanking"}, {false, "Invalid arguments: \n"}},
        {"self", {}, {true, ""}},
        {"self", {"--json"}, {true, ""}},
        {"self", {"--json", "--json"}, {true, ""}},
        {"self", {"--jsn"}, {false, "Unknown argument: --jsn\n"}},
        {"self", {"--Json"}, {false, "Unknown argument: --Json\n"}},
        {"self", {"--json=yes"}, {false, "Unknown argument: --json=yes\n"}},
        {"self", {"--"}, {false, "Unknown argument: --\n"}},
        {"self", {"extra"}, {false, "Unexpected positional argument: extra\n"}},
        {"self", {"help", "more"}, {false, "Unexpected positional argument: help\n"}},
        {"self", {"-json"}, {false, "Unexpected positional argument: -json\n"}},
        {"self", {""}, {false, "Unexpected positional argument: \n"}},
        {"self", {"--größe"}, {false, "Unknown argument: --größe\n"}},
        // The scan stops at the first unknown option: "extra" is never looked at.
        {"self", {"--bad", "extra"}, {false, "Unknown argument: --bad\n"}},
        {"self", {"extra", "--bad"}, {false, "Unknown argument: --bad\n"}},
        {"get-name", {}, {true, ""}},
        {"get-name", {"extra"}, {false, ""}},
        {"get-name", {"--json"}, {false, ""}},
        {"get-name", {"--"}, {false, ""}},
        {"list-outputs", {"--enabled", "--names"}, {true, ""}},
        {"list-outputs", {"DP-1"}, {false, "Unexpected positional argument: DP-1\n"}},
        {"list-outputs", {"--"}, {false, "Unknown argument: --\n"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.command) + " " + c.words.join(u' ').toStdString());
        EXPECT_EQ(parse(c.command, c.words), c.outcome);
    }
}

TEST_F(Options, FillsVariables)
{
    ASSERT_TRUE(parse("set-position", {"-10", "-20"}).accepted);
    EXPECT_EQ(positional("set-position"), (QStringList{"-10", "-20"}));

    ASSERT_TRUE(parse("set-position", {"", "5"}).accepted);
    EXPECT_EQ(positional("set-position"), (QStringList{"", "5"}));

    // The flag may stand before, between or after the positional words.
    const QStringList timings = {"712.75", "3840", "4160", "4576", "5312", "2160", "2163", "2168", "2237"};
    for (qsizetype at : {qsizetype(0), qsizetype(4), timings.size()}) {
        QStringList words = timings;
        words.insert(at, "--reduced-blanking");
        SCOPED_TRACE(words.join(u' ').toStdString());
        ASSERT_EQ(parse("add-custom-mode", words), (Outcome{true, ""}));
        EXPECT_TRUE(flag("add-custom-mode", "reduced-blanking"));
        EXPECT_EQ(positional("add-custom-mode"), timings);
    }
    ASSERT_TRUE(parse("add-custom-mode", {"1920x1080@60"}).accepted);
    EXPECT_FALSE(flag("add-custom-mode", "reduced-blanking"));
    EXPECT_EQ(positional("add-custom-mode"), QStringList{"1920x1080@60"});

    ASSERT_TRUE(parse("self", {"--json", "--json"}).accepted);
    EXPECT_TRUE(flag("self", "json"));
    ASSERT_TRUE(parse("self", {}).accepted);
    EXPECT_FALSE(flag("self", "json"));

    ASSERT_TRUE(parse("list-outputs", {"--enabled", "--names"}).accepted);
    EXPECT_TRUE(flag("list-outputs", "enabled"));
    EXPECT_FALSE(flag("list-outputs", "disabled"));
    EXPECT_TRUE(flag("list-outputs", "names"));
    EXPECT_FALSE(flag("list-outputs", "json"));
}

TEST_F(Options, RejectedWordsLeaveListAlone)
{
    ASSERT_TRUE(parse("set-position", {"1", "2"}).accepted);
    const Command &setPosition = command("set-position");
    CapturedStderr err;
    EXPECT_FALSE(parseOptions(setPosition, {"3"}));
    EXPECT_EQ(positional("set-position"), (QStringList{"1", "2"}));

    // A flag set before a later failure keeps its value.
    const Command &self = command("self");
    resetVariables(optionsFor(self));
    EXPECT_FALSE(parseOptions(self, {"--json", "--bad"}));
    EXPECT_TRUE(flag("self", "json"));
}

// No record of the table has a value, so these use records of their own.
TEST_F(Options, ValuedOptions)
{
    QString profile;
    bool verbose = false;
    QStringList words;
    const CommandOption profileRecord{"T", "t", "profile", "PATH", "Profile", &profile, OptionKind::Option};
    const CommandOption verboseRecord{"T", "t", "verbose", nullptr, "Verbose", &verbose, OptionKind::Option};
    const CommandOption wordsRecord{"T", "t", nullptr, "WORD*", nullptr, &words, OptionKind::Positional};
    const std::vector<const CommandOption *> records = {&profileRecord, &verboseRecord, &wordsRecord};

    const struct {
        QStringList words;
        Outcome outcome;
        QString profile;
        QStringList positional;
    } cases[] = {
        {{"--profile", "a.icc"}, {true, ""}, "a.icc", {}},
        {{"x", "--profile", "-b", "y"}, {true, ""}, "-b", {"x", "y"}},
        {{"--profile", ""}, {true, ""}, "", {}},
        {{"--profile"}, {false, "Missing value for option profile.\n"}, "", {}},
        {{"--profile", "--verbose"}, {false, "Missing value for option profile.\n"}, "", {}},
        {{"--profile=a.icc"}, {true, ""}, "a.icc", {}},
        {{"--profile= spaced name "}, {true, ""}, "spaced name", {}},
        {{"--profile=a=b"}, {true, ""}, "a=b", {}},
        {{"--profile="}, {false, "Missing value for option profile.\n"}, "", {}},
        {{"--profile=  "}, {false, "Missing value for option profile.\n"}, "", {}},
        {{"--verbose=1"}, {false, "Unknown argument: --verbose=1\n"}, "", {}},
        {{"--other=1"}, {false, "Unknown argument: --other=1\n"}, "", {}},
        {{"--=1"}, {false, "Unknown argument: --=1\n"}, "", {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.words.join(u'|').toStdString());
        profile.clear();
        words.clear();
        CapturedStderr err;
        const bool accepted = parseOptions(records, c.words);
        EXPECT_EQ((Outcome{accepted, err.text()}), c.outcome);
        EXPECT_EQ(profile, c.profile);
        EXPECT_EQ(words, c.positional);
    }
}

} // namespace
