// Hostile values for every per-output command of the real command table:
// each is refused with the command's own message and exit status 1, or
// accepted exactly as the command's rules say. Nothing crashes or hangs.

#include "process.h"

#include "../../dispor/src/text.h"

#include "core/command.h"
#include "core/options.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

// A value and what it reads as by the rules of the integer and the number
// parsers, stated here rather than taken from them.
struct Hostile {
    const char *label;
    std::string bytes;
    std::optional<int> integer;
    std::optional<double> number;
};

std::string junk()
{
    std::mt19937 random(7);
    std::string bytes;
    while (bytes.size() < 200) {
        const char c = static_cast<char>(random() % 255 + 1);
        if (c != '\n')
            bytes += c;
    }
    return bytes;
}

const std::vector<Hostile> &hostileValues()
{
    static const std::vector<Hostile> values = {
        {"empty", "", {}, {}},
        {"100 KB", std::string(100 * 1024, '9'), {}, {}},
        {"invalid UTF-8", "\xff\xfe\xc3(", {}, {}},
        {"binary junk", junk(), {}, {}},
        {"20 digits", "99999999999999999999", {}, 1e20},
        {"2^31", "2147483648", {}, 2147483648.0},
        {"-1", "-1", -1, -1.0},
        {"-2^31-1", "-2147483649", {}, -2147483649.0},
        {"nan", "nan", {}, {}},
        {"inf", "inf", {}, {}},
        {"-inf", "-inf", {}, {}},
        {"1e309", "1e309", {}, {}},
        {"-0", "-0", 0, -0.0},
        {"hexadecimal", "0x10", {}, {}},
        {"an unknown option", "--\xff\xfe", {}, {}},
    };
    return values;
}

// The text as the tool gets it from its command line and prints it back.
// As messages show a word: decoded, with control characters escaped so that
// the message stays one line and cannot drive the terminal.
std::string shown(const std::string &bytes)
{
    QString text;
    for (const QChar c : QString::fromLocal8Bit(bytes)) {
        if (c.unicode() < 0x20 || (c.unicode() >= 0x7f && c.unicode() <= 0x9f))
            text += QString::asprintf("\\u%04x", c.unicode());
        else
            text += c;
    }
    return text.toStdString();
}

const std::string capabilities =
    R"(["overscan", "vrr", "rgb-range", "hdr", "wcg", "auto-rotate", "icc", "brightness",
    "builtin-color-profile", "ddc-ci", "maxbpc", "edr", "sharpness", "custom-modes", "auto-brightness", "hdr-icc",
    "abm", "disable"])";

// DP-1 away from the defaults, so that an accepted value shows.
const std::string document = R"({"outputs": [
    {"id": 1, "name": "eDP-1", "priority": 1, "capabilities": )" +
                             capabilities + R"(,
     "modes": [{"id": "1", "width": 1920, "height": 1080, "refreshRate": 60.0}], "currentModeId": "1"},
    {"id": 2, "name": "DP-1", "priority": 2, "pos": {"x": 1920, "y": 0}, "capabilities": )" +
                             capabilities + R"(,
     "modes": [{"id": "1", "width": 1920, "height": 1080, "refreshRate": 60.0}], "currentModeId": "1",
     "hdrEnabled": true, "brightness": 0.8, "dimming": 0.9, "sharpness": 0.2, "sdrGamutWideness": 0.4,
     "overscan": 5, "abmLevel": 2, "maxBitsPerColor": 10, "bitsPerColorRange": {"min": 6, "max": 16},
     "maxPeakBrightnessOverride": 800, "maxAverageBrightnessOverride": 500, "minBrightnessOverride": 50,
     "iccProfilePath": "/nonexistent/a.icc", "hdrIccProfilePath": "/nonexistent/b.icc",
     "customModes": [{"width": 1280, "height": 720, "refreshRate": 60.0, "flags": 1}]}
]})";

// The defaults of the keys looked at, which the document leaves out.
QJsonValue defaultOf(const QString &key)
{
    static const QJsonObject defaults = QJsonDocument::fromJson(R"({"abmLevel": 0, "overscan": 0,
        "sdrGamutWideness": 0, "sharpness": 0, "brightness": 1, "dimming": 1, "pos": {"x": 0, "y": 0},
        "iccProfilePath": "", "hdrIccProfilePath": "", "customModes": [], "maxBitsPerColor": 0})")
                                            .object();
    return defaults.value(key);
}

QJsonValue valueIn(const std::string &text, const QString &key)
{
    for (const QJsonValue &output :
         QJsonDocument::fromJson(QByteArray::fromStdString(text))["outputs"].toArray()) {
        if (output["name"] == QLatin1StringView("DP-1"))
            return output.toObject().contains(key) ? output[key] : defaultOf(key);
    }
    return QJsonValue::Undefined;
}

// What one run must give.
struct Expectation {
    std::optional<std::string> refusal; // the one line; none for an accepted value
    QString key;                        // for an accepted value: the DP-1 property …
    QJsonValue value;                   // … and what it becomes
    bool anyOutcome = false;            // only: no crash, no hang, 0 or 1 with at most one line
};

Expectation refused(const std::string &line)
{
    return {line, {}, {}};
}

Expectation accepted(const char *key, QJsonValue value)
{
    return {std::nullopt, QString::fromLatin1(key), std::move(value)};
}

Expectation invalid(const Hostile &v)
{
    return refused("Invalid argument: " + shown(v.bytes));
}

struct Ranged {
    int min;
    int max;
    const char *message;
    const char *key;
    double divisor;
};

const std::map<std::string, Ranged> integerCommands = {
    {"set-abm", {0, 4, "Allowed values for abm level are 0, 1, 2, 3, 4", "abmLevel", 1}},
    {"set-overscan", {0, 100, "Allowed range for overscan is 0 to 100", "overscan", 1}},
    {"set-priority", {1, 100, "Allowed range for priority is 1 to 100", "priority", 1}},
    {"set-sdr-brightness",
     {50, 10000, "Allowed range for sdr-brightness is 50 to 10000", "sdrBrightness", 1}},
    {"set-sdr-gamut", {0, 100, "Allowed range for sdr-gamut is 0 to 100", "sdrGamutWideness", 100}},
    {"set-sharpness", {0, 100, "Allowed range for sharpness is 0 to 100", "sharpness", 100}},
    {"set-max-average-brightness-override",
     {0, 10000, "Allowed range for max-average-brightness-override is 0 to 10000",
      "maxAverageBrightnessOverride", 1}},
    {"set-max-peak-brightness-override",
     {0, 10000, "Allowed range for max-peak-brightness-override is 0 to 10000", "maxPeakBrightnessOverride",
      1}},
    {"set-min-brightness-override",
     {0, 10000, "Allowed range for min-brightness-override is 0 to 10000", "minBrightnessOverride", 1}},
    {"set-maxbpc", {6, 16, "Only whole numbers between 6 and 16 are allowed", "maxBitsPerColor", 1}},
};

const std::map<std::string, std::pair<const char *, const char *>> percentCommands = {
    {"set-brightness", {"Allowed range for brightness is 0% to 100%", "brightness"}},
    {"set-dimming", {"Allowed range for dimming is 0% to 100%", "dimming"}},
};

// A path the library is asked to read as an ICC profile; its reason shows
// the path with control characters escaped.
Expectation profile(const char *key, const char *setting, const Hostile &v)
{
    if (v.bytes.empty())
        return accepted(key, "");
    const std::string path = shown(v.bytes);
    const std::string quoted = Dispor::quoted(QString::fromStdString(path)).toStdString();
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
    const int error = errno;
    if (fd >= 0) {
        ::close(fd);
        return refused("Failed to apply output configuration: DP-1: cannot set " + std::string(setting) +
                       " to " + quoted + ": the file is not an ICC profile");
    }
    return refused("Failed to apply output configuration: DP-1: cannot set " + std::string(setting) + " to " +
                   quoted + ": the file cannot be read: " + std::strerror(error));
}

// The value as the one positional word of the command.
Expectation expectationFor(const std::string &command, const Hostile &v)
{
    const std::string text = shown(v.bytes);
    if (const auto ranged = integerCommands.find(command); ranged != integerCommands.end()) {
        const Ranged &r = ranged->second;
        if (!v.integer)
            return invalid(v);
        if (*v.integer < r.min || *v.integer > r.max)
            return refused(r.message);
        return accepted(r.key, *v.integer / r.divisor);
    }
    if (const auto percent = percentCommands.find(command); percent != percentCommands.end()) {
        if (!v.number)
            return invalid(v);
        const double fraction = *v.number / 100;
        if (fraction < 0 || fraction > 1)
            return refused(percent->second.first);
        return accepted(percent->second.second, fraction);
    }
    if (command == "set-scale") {
        if (!v.number)
            return invalid(v);
        if (*v.number / 100 < 0.5)
            return refused("The scale factor should be at least 50%");
        if (*v.number / 100 > 10)
            return refused("The scale factor cannot be greater than 1000%");
        return {std::nullopt, {}, {}, true};
    }
    if (command == "above" || command == "below" || command == "left-of" || command == "right-of")
        return refused("Unknown output: " + text);
    if (command == "set-replica-of")
        return refused("Unknown replication source: " + text);
    if (command == "set-mode")
        return refused("Unknown mode: " + text);
    if (command == "set-icc-profile")
        return profile("iccProfilePath", "the ICC profile", v);
    if (command == "set-hdr-icc-profile")
        return profile("hdrIccProfilePath", "the HDR ICC profile", v);
    if (command == "remove-custom-mode") {
        if (!v.integer)
            return refused("Invalid mode index: " + text);
        if (*v.integer != 0)
            return refused("Invalid mode index: " + std::to_string(*v.integer));
        return accepted("customModes", QJsonArray());
    }
    if (command == "add-custom-mode")
        return refused("Invalid argument: " + text + ", expecting `width`x`height`@`refresh_rate`");
    // Every other value is a word, a switch or a profile source.
    return invalid(v);
}

struct Case {
    std::vector<std::string> args;
    Expectation expected;
};

std::vector<Case> runsFor(const Command &command, const Hostile &v)
{
    const std::string name = command.name;
    const std::vector<const CommandOption *> records = optionsFor(command);
    const auto positional = std::find_if(records.begin(), records.end(), [](const CommandOption *r) {
        return r->kind == OptionKind::Positional;
    });
    if (v.bytes.rfind("--", 0) == 0) {
        // Taken for an option, never for a value.
        if (records.empty())
            return {{{"DP-1", name, v.bytes}, refused({})}};
        return {{{"DP-1", name, v.bytes}, refused("Unknown argument: " + shown(v.bytes))}};
    }
    if (positional == records.end()) {
        if (records.empty())
            return {{{"DP-1", name, v.bytes}, refused({})}};
        return {{{"DP-1", name, v.bytes}, refused("Unexpected positional argument: " + shown(v.bytes))}};
    }
    if (name == "set-position") {
        std::vector<Case> runs;
        const auto coordinate = [&](bool first) {
            std::vector<std::string> args = {"DP-1", name, first ? v.bytes : "0", first ? "0" : v.bytes};
            if (!v.number || std::trunc(*v.number) < std::numeric_limits<int>::min() ||
                std::trunc(*v.number) > std::numeric_limits<int>::max())
                return Case{args, invalid(v)};
            const int c = static_cast<int>(std::trunc(*v.number));
            return Case{args, accepted("pos", QJsonObject{{"x", first ? c : 0}, {"y", first ? 0 : c}})};
        };
        runs.push_back(coordinate(true));
        runs.push_back(coordinate(false));
        runs.push_back({{"DP-1", name, v.bytes}, refused("Invalid arguments: " + shown(v.bytes))});
        return runs;
    }
    std::vector<Case> runs = {{{"DP-1", name, v.bytes}, expectationFor(name, v)}};
    if (name == "add-custom-mode") {
        // The timings form: the value as a total, as a flag and as the clock.
        std::vector<std::string> timings = {"712.75", "3840", "4160", "4576", "5312",
                                            "2160",   "2163", "2168", "2237"};
        std::vector<std::string> total = timings;
        total[4] = v.bytes;
        runs.push_back({{"DP-1", name}, refused("Failed to parse argument: " + shown(v.bytes))});
        runs.back().args.insert(runs.back().args.end(), total.begin(), total.end());
        runs.push_back({{"DP-1", name}, refused("Failed to parse argument: " + shown(v.bytes))});
        runs.back().args.insert(runs.back().args.end(), timings.begin(), timings.end());
        runs.back().args.push_back(v.bytes);
        std::vector<std::string> clock = timings;
        clock[0] = v.bytes;
        Expectation any{std::nullopt, {}, {}, true};
        runs.push_back(
            {{"DP-1", name}, v.number ? any : refused("Failed to parse argument: " + shown(v.bytes))});
        runs.back().args.insert(runs.back().args.end(), clock.begin(), clock.end());
    }
    return runs;
}

void check(const Case &run, const e2e::VirtualSet &set, const e2e::Result &result)
{
    ASSERT_FALSE(reliability::crashed(result)) << result;
    if (run.expected.anyOutcome) {
        EXPECT_TRUE(result.status == 0 || result.status == 1) << result;
        EXPECT_EQ(result.out, "");
        EXPECT_TRUE(result.status == 0
                        ? result.err.empty()
                        : !result.err.empty() && result.err.find('\n') == result.err.size() - 1)
            << result;
        return;
    }
    if (run.expected.refusal) {
        const std::string err = run.expected.refusal->empty() ? "" : *run.expected.refusal + "\n";
        EXPECT_EQ(result, (e2e::Result{1, "", err}));
        EXPECT_EQ(set.read(), document) << "a refused value changed the document";
        return;
    }
    EXPECT_EQ(result, (e2e::Result{0, "", ""}));
    EXPECT_EQ(valueIn(set.read(), run.expected.key), run.expected.value) << set.read();
}

TEST(HostileCommandLines, EveryPerOutputCommandRefusesOrAcceptsEachValueByItsRules)
{
    std::vector<Case> runs;
    int commands = 0;
    for (const Command &command : commandTable()) {
        if (!command.outputHandler)
            continue;
        ++commands;
        for (const Hostile &v : hostileValues()) {
            for (Case &run : runsFor(command, v))
                runs.push_back(std::move(run));
        }
    }
    ASSERT_GE(commands, 40);

    // Eight at a time, each on a document of its own.
    constexpr size_t batch = 8;
    for (size_t first = 0; first < runs.size(); first += batch) {
        std::vector<std::unique_ptr<e2e::VirtualSet>> sets;
        std::vector<std::unique_ptr<reliability::Process>> processes;
        const size_t end = std::min(runs.size(), first + batch);
        for (size_t i = first; i < end; ++i) {
            sets.push_back(std::make_unique<e2e::VirtualSet>(document));
            reliability::Launch launch;
            launch.args = runs[i].args;
            processes.push_back(std::make_unique<reliability::Process>(*sets.back(), launch));
        }
        for (size_t i = first; i < end; ++i) {
            const Case &run = runs[i];
            std::string trace;
            for (const std::string &arg : run.args)
                trace += (trace.empty() ? "" : " ") + (arg.size() > 40 ? arg.substr(0, 40) + "…" : arg);
            SCOPED_TRACE(trace);
            check(run, *sets[i - first], processes[i - first]->wait(30));
        }
    }
    RecordProperty("commands", commands);
    RecordProperty("values", int(hostileValues().size()));
    RecordProperty("runs", int(runs.size()));
    std::printf("%d per-output commands, %zu values, %zu runs\n", commands, hostileValues().size(),
                runs.size());
}

} // namespace
