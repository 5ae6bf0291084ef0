// Malformed and hostile documents: every run that reads one fails with one
// line from the library naming the file and the fault, and no run ever
// writes over a document it could not read.

#include "process.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

const std::string mode = R"({"id": "1", "width": 1920, "height": 1080, "refreshRate": 60.0})";

std::string out(const std::string &extra = {}, const std::string &id = "1",
                const std::string &name = R"("DP-1")")
{
    return R"({"id": )" + id + R"(, "name": )" + name + R"(, "modes": [)" + mode +
           R"(], "currentModeId": "1")" + extra + "}";
}

std::string doc(const std::vector<std::string> &outputs)
{
    std::string list;
    for (const std::string &output : outputs)
        list += (list.empty() ? "" : ", ") + output;
    return R"({"outputs": [)" + list + "]}";
}

std::string doc(const std::string &output)
{
    return doc(std::vector<std::string>{output});
}

std::string repeated(const std::string &text, size_t count, const std::string &separator = {})
{
    std::string result;
    result.reserve((text.size() + separator.size()) * count);
    for (size_t i = 0; i < count; ++i)
        result += (i ? separator : "") + text;
    return result;
}

std::string manyModes()
{
    std::string modes;
    for (int i = 0; i < 100000; ++i) {
        modes += (i ? "," : "") + std::string(R"({"id": ")") + std::to_string(i) +
                 R"(", "width": 1, "height": 1, "refreshRate": 1})";
    }
    return doc(R"({"id": 1, "name": "DP-1", "modes": [)" + modes + R"(], "currentModeId": "x"})");
}

struct Case {
    const char *what;
    std::string bytes;
    std::string fault; // after "dispor: <path>: "
};

std::vector<Case> cases()
{
    const std::string valid = doc(out());
    const std::string rangedMode =
        R"({"id": 1, "name": "DP-1", "modes": [{"id": "1", "width": 1920, "height": 1080, )";
    return {
        {"empty file", "", "the document is empty"},
        {"only white space", "   \n", "not valid JSON: illegal value at offset 4"},
        {"truncated", valid.substr(0, 40), "not valid JSON: unterminated string at offset 41"},
        {"truncated after a value", valid.substr(0, valid.size() - 2),
         "not valid JSON: unterminated array at offset 136"},
        {"not JSON", "hello", "not valid JSON: illegal value at offset 1"},
        {"an array", "[]", "the document must be a JSON object"},
        {"null", "null", "not valid JSON: illegal value at offset 1"},
        {"no outputs", "{}", "\"outputs\" is missing"},
        {"outputs an object", R"({"outputs": {}})", "\"outputs\" must be an array, not an object"},
        {"outputs null", R"({"outputs": null})", "\"outputs\" must be an array, not null"},
        {"an output not an object", R"({"outputs": [1]})", "\"outputs[0]\" must be an object, not 1"},
        {"no id", R"({"outputs": [{"name": "DP-1"}]})", "output \"DP-1\": \"id\" is missing"},
        {"no name", R"({"outputs": [{"id": 1}]})", "outputs[0]: \"name\" is missing"},
        {"id a string", doc(out({}, R"("1")")),
         "output \"DP-1\": \"id\" must be an integer from 1 to 2147483647, not \"1\""},
        {"id zero", doc(out({}, "0")),
         "output \"DP-1\": \"id\" must be an integer from 1 to 2147483647, not 0"},
        {"id negative", doc(out({}, "-1")),
         "output \"DP-1\": \"id\" must be an integer from 1 to 2147483647, not -1"},
        {"id a fraction", doc(out({}, "1.5")),
         "output \"DP-1\": \"id\" must be an integer from 1 to 2147483647, not 1.5"},
        {"id beyond 32 bits", doc(out({}, "2147483648")),
         "output \"DP-1\": \"id\" must be an integer from 1 to 2147483647, not 2147483648"},
        {"id beyond the double range", doc(out({}, "1e400")), "not valid JSON: illegal number at offset 25"},
        {"id NaN", doc(out({}, "NaN")), "not valid JSON: illegal number at offset 20"},
        {"id Infinity", doc(out({}, "Infinity")), "not valid JSON: illegal number at offset 20"},
        {"id -Infinity", doc(out({}, "-Infinity")), "not valid JSON: illegal number at offset 21"},
        {"empty name", doc(out({}, "1", R"("")")),
         "outputs[0]: \"name\" must be a non-empty string, not \"\""},
        {"name a number", doc(out({}, "1", "5")), "outputs[0]: \"name\" must be a non-empty string, not 5"},
        {"duplicate id", doc({out(), out({}, "1", R"("DP-2")")}),
         "outputs \"DP-1\" and \"DP-2\" have the same id 1"},
        {"duplicate name", doc({out(), out({}, "2")}),
         "outputs[0] and outputs[1] have the same name \"DP-1\""},
        {"duplicate key", doc(out(R"(, "scale": 1.0, "scale": 2.0)")),
         "\"outputs[0]\" has the key \"scale\" twice"},
        {"duplicate top-level key", R"({"outputs": [], "outputs": []})",
         "the document has the key \"outputs\" twice"},
        {"unknown key", doc(out(R"(, "colour": 1)")), "output \"DP-1\": unknown key \"colour\""},
        {"unknown top-level key", R"({"outputs": [], "version": 1})",
         "unknown key \"version\" at the top level"},
        {"unknown nested key", doc(out(R"(, "pos": {"x": 0, "y": 0, "z": 0})")),
         "output \"DP-1\": unknown key \"z\" in \"pos\""},
        {"current mode that does not exist",
         doc(R"({"id": 1, "name": "DP-1", "modes": [)" + mode + R"(], "currentModeId": "9"})"),
         "output \"DP-1\": \"currentModeId\" \"9\" is not one of the output's modes"},
        {"preferred mode that does not exist", doc(out(R"(, "preferredModeId": "7")")),
         "output \"DP-1\": \"preferredModeId\" \"7\" is not one of the output's modes"},
        {"duplicate mode id", doc(R"({"id": 1, "name": "DP-1", "modes": [)" + mode + ", " + mode + "]}"),
         "output \"DP-1\": \"modes\" has the id \"1\" twice"},
        {"replication source that does not exist", doc(out(R"(, "replicationSource": 9)")),
         "output \"DP-1\": \"replicationSource\" 9 is no existing output"},
        {"replication of itself", doc(out(R"(, "replicationSource": 1)")),
         "output \"DP-1\": \"replicationSource\" names the output itself"},
        {"scale zero", doc(out(R"(, "scale": 0)")),
         "output \"DP-1\": \"scale\" must be greater than 0, not 0"},
        {"scale negative", doc(out(R"(, "scale": -1.5)")),
         "output \"DP-1\": \"scale\" must be greater than 0, not -1.5"},
        {"scale a string", doc(out(R"(, "scale": "1.5")")),
         "output \"DP-1\": \"scale\" must be a number, not \"1.5\""},
        {"brightness above 1", doc(out(R"(, "brightness": 2)")),
         "output \"DP-1\": \"brightness\" must be from 0 to 1, not 2"},
        {"brightness below 0", doc(out(R"(, "brightness": -0.1)")),
         "output \"DP-1\": \"brightness\" must be from 0 to 1, not -0.1"},
        {"brightness beyond the double range", doc(out(R"(, "brightness": -1e400)")),
         "not valid JSON: illegal number at offset 157"},
        {"negative unsigned", doc(out(R"(, "sdrBrightness": -5)")),
         "output \"DP-1\": \"sdrBrightness\" must be an integer from 0 to 4294967295, not -5"},
        {"unsigned beyond 32 bits", doc(out(R"(, "sdrBrightness": 4294967296)")),
         "output \"DP-1\": \"sdrBrightness\" must be an integer from 0 to 4294967295, not 4294967296"},
        {"bool as a number", doc(out(R"(, "enabled": 1)")),
         "output \"DP-1\": \"enabled\" must be true or false, not 1"},
        {"unknown word", doc(out(R"(, "rotation": "left")")),
         "output \"DP-1\": \"rotation\" must be one of normal, 90, 180, 270, flipped, flipped90, flipped180, "
         "flipped270, not \"left\""},
        {"unknown capability", doc(out(R"(, "capabilities": ["teleport"])")),
         "output \"DP-1\": \"capabilities[0]\" must be one of overscan, vrr, rgb-range, hdr, wcg, "
         "auto-rotate, icc, "
         "brightness, builtin-color-profile, ddc-ci, maxbpc, edr, sharpness, custom-modes, auto-brightness, "
         "hdr-icc, disable, abm, not \"teleport\""},
        {"capability twice", doc(out(R"(, "capabilities": ["hdr", "hdr"])")),
         "output \"DP-1\": \"capabilities\" lists \"hdr\" twice"},
        {"negative mode width",
         doc(R"({"id": 1, "name": "DP-1", "modes": [{"id": "1", "width": -1920, "height": 1080, "refreshRate": 60.0}]})"),
         "output \"DP-1\": mode \"1\": \"width\" must be at least 1, not -1920"},
        {"refresh rate beyond float", doc(rangedMode + R"("refreshRate": 1e39}]})"),
         "output \"DP-1\": \"modes[0].refreshRate\" 1e+39 is too large for a 32-bit floating-point number"},
        {"timings incomplete",
         doc(out(
             R"(, "customModes": [{"width": 1, "height": 1, "refreshRate": 60, "flags": 1, "timings": {"clock": 1}}])")),
         "output \"DP-1\": \"customModes[0].timings.hdisplay\" is missing"},
        {"override a string", doc(out(R"(, "maxPeakBrightnessOverride": "none")")),
         "output \"DP-1\": \"maxPeakBrightnessOverride\" must be a number or null, not \"none\""},
        {"zero size", doc(out(R"(, "size": {"width": 0, "height": 1080})")),
         "output \"DP-1\": \"size.width\" must be at least 1, not 0"},
        {"invalid UTF-8 in a string", doc(out(", \"uuid\": \"\xff\xfe\"")),
         "not valid JSON: invalid UTF8 string at offset 146"},
        {"invalid UTF-8 in a key", "{\"outputs\": [], \"\xc3\x28\": 1}",
         "not valid JSON: invalid UTF8 string at offset 17"},
        {"lone surrogate in a name", doc(out({}, "1", R"("DP-\ud800")")),
         "outputs[0]: \"name\" must be valid Unicode text"},
        {"lone surrogate in a uuid", doc(out(R"(, "uuid": "a\udc00b")")),
         "output \"DP-1\": \"uuid\" must be valid Unicode text"},
        {"a raw line break in a key", doc(out(", \"bits\nPerColor\": 1")),
         "not valid JSON: a control character (0x0a) stands unescaped in a string at offset 142"},
        {"an escaped line break in a name", doc(out(R"(, "x": 1)", "1", R"("DP\n1")")),
         "output \"DP\\u000a1\": unknown key \"x\""},
        {"NUL byte", valid.substr(0, 20) + std::string(1, '\0') + valid.substr(20),
         "not valid JSON: illegal number at offset 20"},
        {"garbage after the document", valid + " x",
         "not valid JSON: garbage at the end of the document at offset 139"},
        {"two documents", valid + valid, "not valid JSON: garbage at the end of the document at offset 138"},
        {"UTF-16", std::string("\xff\xfe{\0", 4), "not valid JSON: illegal value at offset 1"},
        {"a comment", "// c\n" + valid, "not valid JSON: illegal value at offset 1"},
        {"trailing comma", R"({"outputs": [],})",
         "not valid JSON: object is missing after a comma at offset 16"},
        {"single quotes", "{'outputs': []}", "not valid JSON: unterminated object at offset 2"},
        {"deep nesting", R"({"outputs": )" + std::string(100000, '[') + std::string(100000, ']') + "}",
         "not valid JSON: too deeply nested document at offset 1036"},
        {"deep nesting in an unknown key",
         R"({"outputs": [{"id": 1, "name": "a", "x": )" + std::string(1000, '[') + std::string(1000, ']') +
             "}]}",
         "output \"a\": unknown key \"x\""},
        {"huge array", R"({"outputs": [)" + repeated("1", 2000000, ",") + "]}",
         "\"outputs[0]\" must be an object, not 1"},
        {"huge mode list", manyModes(),
         "output \"DP-1\": \"currentModeId\" \"x\" is not one of the output's modes"},
        // Once every run took hours on these: each copy was numbered after
        // all the others.
        {"200000 equal custom modes",
         doc(out(
             R"(, "customModes": [)" +
             repeated(R"({"width": 1920, "height": 1080, "refreshRate": 60.0, "flags": 1})", 200000, ",") +
             "]")),
         "output \"DP-1\": \"customModes[1]\" is the same as \"customModes[0]\""},
        {"logical size past 32 bits", doc(out(R"(, "scale": 1e-7)")),
         "output \"DP-1\": the logical size 19200000000x10800000000 (the size 1920x1080 at the scale 1e-07) "
         "does "
         "not fit 32-bit integers"},
        {"explicit logical size past 32 bits",
         doc(out(R"(, "explicitLogicalSize": {"width": 1e300, "height": 1})")),
         "output \"DP-1\": \"explicitLogicalSize\" 1e+300x1 does not fit 32-bit integers"},
        {"an edge past 32 bits", doc(out(R"(, "pos": {"x": 2147483647, "y": 0})")),
         "output \"DP-1\": \"pos\" 2147483647,0 with the logical size 1920x1080 puts an edge outside 32-bit "
         "integers"},
        {"50 MB", R"({"outputs": [], "pad": ")" + std::string(50 << 20, 'a') + "\"}",
         "the document is larger than 16 MiB"},
    };
}

// Every way a run reads the document: a per-output change, a listing, and
// the power switch, which reads it only under the lock to write it.
const std::vector<std::vector<std::string>> readers = {
    {"DP-1", "set-brightness", "50"},
    {"list-outputs"},
    {"off"},
};

// The one line a reader gives; the power switch reports the library's
// reason itself.
std::string refusal(const std::vector<std::string> &args, const std::string &reason)
{
    return (args[0] == "off" ? "Failed to switch display power: " : "dispor: ") + reason + "\n";
}

TEST(BadDocuments, EachIsRefusedWithOneLineAndLeftAsItWas)
{
    const std::vector<Case> table = cases();
    ASSERT_GE(table.size(), 40u);
    int runs = 0;
    // Several documents at a time, each in a set of its own.
    constexpr size_t batch = 6;
    for (size_t first = 0; first < table.size(); first += batch) {
        const size_t end = std::min(table.size(), first + batch);
        std::vector<std::unique_ptr<e2e::VirtualSet>> sets;
        std::vector<std::unique_ptr<reliability::Process>> processes;
        for (size_t i = first; i < end; ++i) {
            sets.push_back(std::make_unique<e2e::VirtualSet>());
            e2e::writeFile(sets.back()->path(), table[i].bytes);
            for (const std::vector<std::string> &args : readers) {
                reliability::Launch launch;
                launch.args = args;
                processes.push_back(std::make_unique<reliability::Process>(*sets.back(), launch));
            }
        }
        for (size_t i = first; i < end; ++i) {
            const Case &c = table[i];
            const e2e::VirtualSet &set = *sets[i - first];
            SCOPED_TRACE(c.what);
            for (size_t r = 0; r < readers.size(); ++r) {
                SCOPED_TRACE(::testing::PrintToString(readers[r]));
                EXPECT_EQ(processes[(i - first) * readers.size() + r]->wait(),
                          (e2e::Result{1, "", refusal(readers[r], set.path() + ": " + c.fault)}));
                ++runs;
            }
            EXPECT_TRUE(set.read() == c.bytes) << "the document was changed";
        }
    }
    RecordProperty("documents", int(table.size()));
    RecordProperty("runs", runs);
    std::printf("%zu documents, %d runs\n", table.size(), runs);
}

TEST(BadDocuments, ADirectoryOrSpecialFileInItsPlaceIsRefused)
{
    e2e::VirtualSet set;
    ASSERT_EQ(::mkdir(set.path().c_str(), 0700), 0);
    for (const std::vector<std::string> &args : readers) {
        SCOPED_TRACE(::testing::PrintToString(args));
        reliability::Launch launch;
        launch.args = args;
        EXPECT_EQ(reliability::runWith(set, launch),
                  (e2e::Result{1, "", refusal(args, set.path() + ": is a directory, not a document")}));
    }
    ASSERT_EQ(::rmdir(set.path().c_str()), 0);

    // A reader must not wait for a writer that never comes.
    ASSERT_EQ(::mkfifo(set.path().c_str(), 0600), 0);
    for (const std::vector<std::string> &args : readers) {
        SCOPED_TRACE(::testing::PrintToString(args));
        reliability::Launch launch;
        launch.args = args;
        EXPECT_EQ(reliability::runWith(set, launch, 20),
                  (e2e::Result{1, "", refusal(args, set.path() + ": is not a regular file")}));
    }
}

} // namespace
