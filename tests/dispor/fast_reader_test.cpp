// parseDocument reads plain documents its own quick way: whatever it reads,
// and whatever fault it gives, must be what the QJsonDocument reader gives.

#include "../../dispor/src/virtual/document.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

const std::string base = R"({
  "outputs": [
    {
      "id": 1,
      "name": "DP-1",
      "uuid": "u-1",
      "type": "DisplayPort",
      "enabled": true,
      "connected": true,
      "priority": 1,
      "pos": {"x": -1920, "y": 0},
      "modes": [
        {"id": "1", "width": 3840, "height": 2160, "refreshRate": 59.94},
        {"id": "2", "width": 1920, "height": 1080, "refreshRate": @RATE@}
      ],
      "currentModeId": "1",
      "preferredModeId": "2",
      "scale": @SCALE@,
      "rotation": "90",
      "capabilities": ["hdr", "wcg", "brightness", "custom-modes"],
      "brightness": @BRIGHTNESS@,
      "sdrBrightness": 300,
      "maxPeakBrightnessOverride": null,
      "minBrightnessOverride": @OVERRIDE@,
      "bitsPerColorRange": {"min": 6, "max": 12},
      "customModes": [{"width": 1000, "height": 700, "refreshRate": 60, "flags": 1}],
      "iccProfilePath": @PATH@
    },
    {"id": 2, "name": "HDMI-A-1", "enabled": false, "replicationSource": 0}
  ]
}
)";

std::string substitute(std::string text, const std::string &field, const std::string &value)
{
    const std::string mark = "@" + field + "@";
    for (size_t at = text.find(mark); at != std::string::npos; at = text.find(mark))
        text.replace(at, mark.size(), value);
    return text;
}

std::string document(const std::string &rate = "60", const std::string &scale = "1.25",
                     const std::string &brightness = "0.5", const std::string &override = "500",
                     const std::string &path = R"("/p.icc")")
{
    std::string text = substitute(base, "RATE", rate);
    text = substitute(text, "SCALE", scale);
    text = substitute(text, "BRIGHTNESS", brightness);
    text = substitute(text, "OVERRIDE", override);
    return substitute(text, "PATH", path);
}

bool sameBits(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

void expectSameReading(const std::string &text)
{
    const QByteArray bytes = QByteArray::fromStdString(text);
    Dispor::Virtual::Outputs quick, full;
    QString quickFault, fullFault;
    const bool quickOk = Dispor::Virtual::parseDocument(bytes, &quick, &quickFault);
    const bool fullOk = Dispor::Virtual::parseDocumentFully(bytes, &full, &fullFault);
    ASSERT_EQ(quickOk, fullOk) << text << "\n" << fullFault.toStdString();
    EXPECT_EQ(quickFault, fullFault) << text;
    if (!fullOk)
        return;
    EXPECT_EQ(Dispor::Virtual::writeDocument(quick), Dispor::Virtual::writeDocument(full)) << text;
    ASSERT_EQ(quick.size(), full.size());
    for (qsizetype i = 0; i < quick.size(); ++i) {
        const auto &q = quick[i];
        const auto &f = full[i];
        EXPECT_TRUE(sameBits(q.scale, f.scale)) << text;
        EXPECT_TRUE(sameBits(q.brightness, f.brightness)) << text;
        EXPECT_EQ(q.minBrightnessOverride.has_value(), f.minBrightnessOverride.has_value()) << text;
        if (q.minBrightnessOverride && f.minBrightnessOverride) {
            EXPECT_TRUE(sameBits(*q.minBrightnessOverride, *f.minBrightnessOverride)) << text;
        }
        ASSERT_EQ(q.modes.keys(), f.modes.keys()) << text;
        for (const QString &id : q.modes.keys()) {
            EXPECT_EQ(q.modes[id]->refreshRate(), f.modes[id]->refreshRate()) << text;
            EXPECT_EQ(q.modes[id]->size(), f.modes[id]->size()) << text;
        }
        EXPECT_EQ(q.customModes, f.customModes) << text;
    }
}

TEST(FastReader, NumbersReadAsQtReadsThem)
{
    const char *numbers[] = {
        "0",
        "-0",
        "0.0",
        "-0.0",
        "1",
        "-1",
        "0.1",
        "1e-7",
        "1E-7",
        "1e21",
        "1e+21",
        "-1e21",
        "1.0",
        "2.50",
        "59.94",
        "23.976",
        "119.88",
        "1e308",
        "1e309",
        "-1e309",
        "4.9e-324",
        "1e-400",
        "123456789012345",
        "1234567890123456",
        "12345678901234567890",
        "9007199254740993",
        "0.30000000000000004",
        "3.4028234663852886e38",
        "3.4028235677973366e38",
        "1e39",
        "01",
        "1.",
        ".5",
        "+1",
        "1e",
        "0x10",
        "NaN",
        "Infinity",
        "1.5e2",
        "100e-2",
        "true",
        "null",
        "\"1\"",
        "[]",
        "{}",
    };
    for (const char *n : numbers) {
        SCOPED_TRACE(n);
        expectSameReading(document(n));
        expectSameReading(document("60", n));
        expectSameReading(document("60", "1", n));
        expectSameReading(document("60", "1", "1", n));
    }
}

TEST(FastReader, StringsAndStructureReadAsQtReadsThem)
{
    const char *paths[] = {
        R"("")",       R"("plain")", R"("a\"b")", R"("tab\t")", R"("\u00fc")", "\"\xc3\xbc\"", "\"\xff\"",
        R"("\ud800")", "\"a\tb\"",   R"("\/")",   "null",       "1",           R"("x" "y")",
    };
    for (const char *p : paths)
        expectSameReading(document("60", "1.25", "0.5", "500", p));

    const std::string plain = document();
    const std::pair<std::string, std::string> edits[] = {
        {"\"uuid\": \"u-1\",", "\"uuid\": \"u-1\", \"uuid\": \"u-2\","},
        {"\"uuid\": \"u-1\",", "\"colour\": 1,"},
        {"\"id\": 1,", ""},
        {"\"name\": \"DP-1\",", ""},
        {"\"name\": \"DP-1\",", "\"name\": \"\","},
        {"\"name\": \"HDMI-A-1\"", "\"name\": \"DP-1\""},
        {"\"id\": 2,", "\"id\": 1,"},
        {"\"id\": 2,", "\"id\": 0,"},
        {"\"id\": \"2\"", "\"id\": \"1\""},
        {"\"currentModeId\": \"1\"", "\"currentModeId\": \"9\""},
        {"\"rotation\": \"90\"", "\"rotation\": \"sideways\""},
        {"\"capabilities\": [\"hdr\",", "\"capabilities\": [\"hdr\", \"hdr\","},
        {"\"flags\": 1}", "\"flags\": 1, \"timings\": {\"clock\": 1, \"hdisplay\": 1, \"hsyncStart\": 1, "
                          "\"hsyncEnd\": 1, \"htotal\": 1, \"hskew\": 0, \"vdisplay\": 1, \"vsyncStart\": 1, "
                          "\"vsyncEnd\": 1, \"vtotal\": 1, \"vscan\": 0, \"flags\": 0}}"},
        {"\"flags\": 1}", "\"flags\": 1, \"extra\": 1}"},
        {"\"pos\": {\"x\": -1920, \"y\": 0}", "\"pos\": {\"x\": -1920}"},
        {"\"pos\": {\"x\": -1920, \"y\": 0}", "\"pos\": {\"x\": 1, \"y\": 2, \"x\": 3}"},
        {"\"pos\": {\"x\": -1920, \"y\": 0}", "\"pos\": {\"x\": 2147483648, \"y\": 0}"},
        {"\"pos\": {\"x\": -1920, \"y\": 0}", "\"pos\": {\"x\": 1.5, \"y\": 0}"},
        {"\"sdrBrightness\": 300", "\"sdrBrightness\": -1"},
        {"\"sdrBrightness\": 300", "\"sdrBrightness\": 4294967296"},
        {"\"replicationSource\": 0", "\"replicationSource\": 1"},
        {"\"replicationSource\": 0", "\"replicationSource\": -1"},
        {"{\"id\": \"2\", \"width\": 1920", "{\"id\": \"1\", \"width\": 1920"},
        {"{\"id\": \"2\", \"width\": 1920", "{\"id\": \"\", \"width\": 1920"},
        {"\"enabled\": true,", "\"enabled\": 1,"},
        {"\"outputs\": [", "\"outputs\": [], \"more\": ["},
        {"\"outputs\": [", "\"outputs\": [], \"outputs\": ["},
        {"\n  ]\n}\n", "\n  ]\n}\n}"},
        {"\n  ]\n}\n", "\n  ],\n}\n"},
        {"\n  ]\n}\n", "\n  ]\n}\n\n\t  \r\n"},
        {"\"connected\": true,", "\"connected\"  :\ttrue ,"},
        {"\"connected\": true,", "\"connected\":                  \r\n\t                    \n true,"},
        {"\"connected\": true,", "\"connected\":    \f                       true,"},
    };
    expectSameReading(plain);
    for (const auto &[from, to] : edits) {
        std::string text = plain;
        const size_t at = text.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        text.replace(at, from.size(), to);
        expectSameReading(text);
    }
    for (const char *whole : {"", "{}", "[]", "{\"outputs\": []}", "{\"outputs\": {}}", "{\"outputs\": [1]}",
                              "\xef\xbb\xbf{\"outputs\": []}", "{\"outputs\": []} x", "{\"outputs\": [{}]}"})
        expectSameReading(whole);
    // A second output listing its modes in the first one's text, or in text
    // that differs from it only near the end.
    const auto edited = [](std::string text, const std::string &from, const std::string &to) {
        return text.replace(text.find(from), from.size(), to);
    };
    const size_t from = plain.find("[", plain.find("\"modes\"")), to = plain.find("],", from) + 1;
    const std::string modes = plain.substr(from, to - from);
    for (const std::string &second : {modes, edited(modes, "60}", "50}"), edited(modes, "\n      ]", "]"),
                                      modes.substr(0, modes.find('}') + 1) + "]"})
        expectSameReading(edited(plain, "\"replicationSource\": 0}",
                                 "\"replicationSource\": 0, \"modes\": " + second + "}"));
    // Every cut of the document: each short one is refused alike.
    for (size_t length = 0; length < plain.size(); length += 7)
        expectSameReading(plain.substr(0, length));
}

} // namespace

// Read back beside its snapshot, a document shares the snapshot's modes
// where they are the same, and only there.
TEST(FastReader, SharesTheModesOfTheSnapshotReadBack)
{
    Dispor::Virtual::Outputs first, again;
    QString fault;
    ASSERT_TRUE(Dispor::Virtual::parseDocument(QByteArray::fromStdString(document()), &first, &fault));
    QMap<int, Dispor::Output::Data> like;
    for (const auto &d : std::as_const(first))
        like.insert(d.id, d);
    // Mode "2" changed its rate since.
    ASSERT_TRUE(
        Dispor::Virtual::parseDocument(QByteArray::fromStdString(document("50")), &again, &fault, &like));
    ASSERT_EQ(again[0].modes.keys(), first[0].modes.keys());
    EXPECT_EQ(again[0].modes["1"], first[0].modes["1"]);
    EXPECT_NE(again[0].modes["2"], first[0].modes["2"]);
    EXPECT_EQ(again[0].modes["2"]->refreshRate(), 50.0f);
}
