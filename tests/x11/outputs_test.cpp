#include "fixture.h"

#include "x11/names.h"
#include "x11/x11_backend.h"

#include <QCollator>
#include <QJsonArray>
#include <QSet>

#include <algorithm>
#include <cstdio>

namespace x11 {
namespace {

using e2e::Result;

class X11Outputs : public X11Test {};

QStringList words(const QJsonValue &array)
{
    QStringList list;
    for (const QJsonValue &value : array.toArray())
        list.append(value.toString());
    return list;
}

TEST_F(X11Outputs, ReportsEveryOutputAsRandrHasIt)
{
    EXPECT_EQ(run({"list-outputs", "--names"}), (Result{0, "DUMMY0\nDUMMY1\nDUMMY2\n", ""}));

    const QJsonObject panel = json("DUMMY0");
    EXPECT_EQ(panel["name"].toString(), "DUMMY0");
    EXPECT_TRUE(panel["enabled"].toBool());
    EXPECT_TRUE(panel["connected"].toBool());
    EXPECT_TRUE(panel["primary"].toBool());
    EXPECT_EQ(panel["priority"].toInt(), 1);
    EXPECT_EQ(panel["position"].toObject(), (QJsonObject{{"x", 0}, {"y", 0}}));
    EXPECT_EQ(panel["scale"].toDouble(), 1.0);
    EXPECT_EQ(panel["rotation"].toString(), "normal");
    EXPECT_EQ(panel["replicaOf"].toInt(), 0);
    EXPECT_EQ(panel["brightness"].toDouble(), 1.0);
    EXPECT_EQ(panel["mode"].toObject()["id"].toString().toStdString(), modeId("1920x1080"));
    EXPECT_EQ(panel["mode"].toObject()["resolution"].toObject(),
              (QJsonObject{{"height", 1080}, {"width", 1920}}));
    EXPECT_EQ(words(panel["capabilities"]), (QStringList{"brightness", "custom-modes", "disable"}));
    EXPECT_EQ(panel["customModes"].toArray().size(), 0);

    const QJsonObject second = json("DUMMY1");
    EXPECT_FALSE(second["primary"].toBool());
    EXPECT_EQ(second["priority"].toInt(), 2);
    EXPECT_EQ(second["position"].toObject(), (QJsonObject{{"x", 1920}, {"y", 0}}));

    // Connected but without a CRTC: off, outside the ranking, no gamma ramp;
    // switched off by another client, with nothing known of its place.
    const QJsonObject off = json("DUMMY2");
    EXPECT_FALSE(off["enabled"].toBool());
    EXPECT_TRUE(off["connected"].toBool());
    EXPECT_EQ(off["priority"].toInt(), 0);
    EXPECT_EQ(words(off["capabilities"]), (QStringList{"custom-modes", "disable"}));
    for (const char *unknown : {"position", "mode", "scale", "rotation"})
        EXPECT_TRUE(off[unknown].isNull()) << unknown;

    EXPECT_FALSE(json("DUMMY15")["connected"].toBool());
    // The output's XID is its id.
    EXPECT_EQ(run({id("DUMMY1"), "get-name"}), (Result{0, "DUMMY1\n", ""}));
    EXPECT_EQ(run({"DUMMY16", "get-name"}), (Result{1, "", "Unknown output: DUMMY16\n"}));
}

TEST_F(X11Outputs, ModesAreTheOutputsRandrModesWithTheirRefresh)
{
    const XScreen before = screen();
    QStringList expected;
    for (const XMode &mode : before["DUMMY1"].modes) {
        std::string line = std::to_string(mode.id) + ":" + std::to_string(mode.h[0]) + "x" +
                           std::to_string(mode.v[0]) + "@" + mode.refresh.substr(0, mode.refresh.size() - 2);
        if (mode.current)
            line += "*";
        // An output lists a mode twice when it was also added by hand.
        if (!expected.contains(QString::fromStdString(line)))
            expected.append(QString::fromStdString(line));
    }
    ASSERT_GT(expected.size(), 20);
    std::sort(expected.begin(), expected.end()); // the tool walks ids as text
    const Result listed = run({"DUMMY1", "list-modes"});
    EXPECT_EQ(listed, (Result{0, expected.join(u'\n').toStdString() + "\n", ""}));
}

TEST_F(X11Outputs, UuidComesFromTheEdidIdentityElseFromTheName)
{
    const QString byName = json("DUMMY1")["uuid"].toString();
    EXPECT_FALSE(byName.isEmpty());
    EXPECT_EQ(json("DUMMY1")["uuid"].toString(), byName);
    EXPECT_NE(json("DUMMY0")["uuid"].toString(), byName);
    // Stable across servers and releases: the same name gives the same uuid.
    EXPECT_EQ(json("DUMMY0")["uuid"].toString(), "046570f7-b747-502e-a6af-3c099d0e98f7");

    randr().setBytes("DUMMY1", "EDID", makeEdid("ABC", 0x1234, 42));
    const QString byEdid = json("DUMMY1")["uuid"].toString();
    EXPECT_NE(byEdid, byName);

    // The monitor moved to another port: it keeps its uuid, the port its own.
    randr().remove("DUMMY1", "EDID");
    randr().setBytes("DUMMY2", "EDID", makeEdid("ABC", 0x1234, 42));
    EXPECT_EQ(json("DUMMY2")["uuid"].toString(), byEdid);
    EXPECT_EQ(json("DUMMY1")["uuid"].toString(), byName);

    // Another monitor of the same model differs by its serial.
    randr().setBytes("DUMMY1", "EDID", makeEdid("ABC", 0x1234, 43));
    EXPECT_NE(json("DUMMY1")["uuid"].toString(), byEdid);
    randr().setBytes("DUMMY1", "EDID", makeEdid("ABD", 0x1234, 42));
    EXPECT_NE(json("DUMMY1")["uuid"].toString(), byEdid);

    // The real serial often sits in the serial-number descriptor alone.
    randr().setBytes("DUMMY1", "EDID", makeEdid("ABC", 0x1234, 42, "SN-0001"));
    const QString byText = json("DUMMY1")["uuid"].toString();
    EXPECT_NE(byText, byEdid);
    randr().setBytes("DUMMY2", "EDID", makeEdid("ABC", 0x1234, 42, "SN-0002"));
    EXPECT_NE(json("DUMMY2")["uuid"].toString(), byText);
    EXPECT_EQ(json("DUMMY1")["uuid"].toString(), byText);

    // Twins that tell nothing apart still get a uuid each, and it names them.
    for (const char *output : {"DUMMY0", "DUMMY1"})
        randr().setBytes(output, "EDID", makeEdid("ABC", 0x1234, 0));
    const QString first = json("DUMMY0")["uuid"].toString(), second = json("DUMMY1")["uuid"].toString();
    EXPECT_NE(first, second);
    EXPECT_EQ(run({first.toStdString(), "get-name"}), (Result{0, "DUMMY0\n", ""}));
    EXPECT_EQ(run({second.toStdString(), "get-name"}), (Result{0, "DUMMY1\n", ""}));
    randr().remove("DUMMY0", "EDID");
    randr().remove("DUMMY2", "EDID");

    // A blob that is no EDID counts as none.
    std::string broken = makeEdid("ABC", 0x1234, 42);
    broken[1] = 0;
    randr().setBytes("DUMMY1", "EDID", broken);
    EXPECT_EQ(json("DUMMY1")["uuid"].toString(), byName);
}

TEST_F(X11Outputs, TypeComesFromTheConnectorTypeProperty)
{
    const std::pair<const char *, const char *> cases[] = {
        {"HDMI", "HDMI"},
        {"Panel", "Panel"},
        {"DisplayPort", "DisplayPort"},
        {"DVI-I", "DVII"},
        {"DVI-D", "DVID"},
        {"VGA", "VGA"},
        {"TV-Composite", "TVComposite"},
        {"TV-SVideo", "TVSVideo"},
        {"unknown", "Unknown"},
    };
    for (const auto &[property, type] : cases) {
        randr().createEnum("DUMMY1", "ConnectorType", {property}, property);
        const Result shown = run({"DUMMY1"});
        EXPECT_NE(shown.out.find(std::string("\t\x1b[01;33m") + type + "\x1b[0;0m\n"), std::string::npos)
            << property << "\n"
            << shown;
    }
    // Without the property the name decides; DUMMY names no connector.
    EXPECT_NE(run({"DUMMY0"}).out.find("\t\x1b[01;33mUnknown\x1b[0;0m\n"), std::string::npos);
}

TEST_F(X11Outputs, ChoosesTheBackendByEnvironment)
{
    e2e::TempDir runtime;
    const e2e::Env virtualSet = {{"XDG_RUNTIME_DIR", runtime.path()}};
    // Unset or empty: the X server DISPLAY names, when it is there.
    for (const std::optional<std::string> &backend :
         {std::optional<std::string>(), std::optional<std::string>("")}) {
        e2e::Env env = virtualSet;
        env["DISPOR_BACKEND"] = backend;
        EXPECT_EQ(run({"list-outputs", "--names"}, env), (Result{0, "DUMMY0\nDUMMY1\nDUMMY2\n", ""}));
        // Never the simulated set in place of the screens.
        env["DISPLAY"] = ":4242";
        EXPECT_EQ(run({"list-outputs", "--names"}, env),
                  (Result{1, "",
                          "dispor: found no display service to configure (WAYLAND_DISPLAY is not set; cannot "
                          "connect to the session bus at \"unix:path=/nonexistent/bus\": No such file or "
                          "directory; cannot connect "
                          "to the X server \":4242\": No such file or directory); DISPOR_BACKEND=virtual "
                          "selects the simulated display set\n"}));
    }
    EXPECT_FALSE(e2e::fileExists(runtime.file("dispor")));
    const QByteArray saved = qgetenv("DISPLAY");
    qputenv("DISPLAY", QByteArray::fromStdString(display()));
    QString found;
    EXPECT_TRUE(Dispor::X11::probeX11Backend(&found)) << found.toStdString();
    saved.isNull() ? qunsetenv("DISPLAY") : qputenv("DISPLAY", saved);

    // Asked for by name, it says why it cannot be had.
    EXPECT_EQ(
        run({"list-outputs", "--names"}, {{"DISPLAY", ":4242"}}),
        (Result{1, "", "dispor: cannot connect to the X server \":4242\": No such file or directory\n"}));
    EXPECT_EQ(run({"list-outputs", "--names"}, {{"DISPLAY", std::nullopt}}),
              (Result{1, "", "dispor: DISPLAY is not set, so there is no X server to talk to\n"}));
}

// Without a server: the parts that turn names into values.
TEST(X11Names, ConnectorTypeFromTheOutputName)
{
    using Type = Dispor::Output::Type;
    const std::pair<const char *, Type> cases[] = {
        {"eDP-1", Type::Panel},
        {"eDP1", Type::Panel},
        {"LVDS-1", Type::Panel},
        {"DSI-1", Type::Panel},
        {"DP-2", Type::DisplayPort},
        {"DP1", Type::DisplayPort},
        {"DisplayPort-0", Type::DisplayPort},
        {"HDMI-A-1", Type::HDMI},
        {"HDMI1", Type::HDMI},
        {"DVI-D-1", Type::DVID},
        {"DVI-I-0", Type::DVII},
        {"DVI-A-1", Type::DVIA},
        {"DVI1", Type::DVI},
        {"VGA-1", Type::VGA},
        {"Composite-1", Type::TVComposite},
        {"SVIDEO-1", Type::TVSVideo},
        {"Component-1", Type::TVComponent},
        {"TV-1", Type::TV},
        {"DPI-1", Type::Unknown},
        {"DUMMY0", Type::Unknown},
        {"Virtual-1", Type::Unknown},
        // In any case; a letter after the prefix, ASCII or not, names
        // something else.
        {"hdmi-1", Type::HDMI},
        {"eDp-1", Type::Panel},
        {"DP\xe9-1", Type::Unknown},
    };
    for (const auto &[name, type] : cases)
        EXPECT_EQ(Dispor::X11::connectorType({}, QString::fromLatin1(name)), type) << name;
    // Beyond ASCII, Unicode's case folding: the long s is an s.
    EXPECT_EQ(Dispor::X11::connectorType({}, u"\u017fCART-1"_qs), Type::TVSCART);
    EXPECT_EQ(Dispor::X11::connectorType({}, u"\uff24P-1"_qs), Type::Unknown);
    // The property wins over the name, unless it names nothing known.
    EXPECT_EQ(Dispor::X11::connectorType(u"HDMI"_qs, u"DP-1"_qs), Type::HDMI);
    EXPECT_EQ(Dispor::X11::connectorType(u"unknown"_qs, u"DP-1"_qs), Type::DisplayPort);
}

TEST(X11Names, EdidIdentityWithItsSerialText)
{
    using Dispor::X11::edidIdentity;
    const std::optional<Dispor::X11::EdidIdentity> plain =
        edidIdentity(QByteArray::fromStdString(makeEdid("DEL", 0x40f2, 7)));
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->manufacturer, u"DEL"_qs);
    EXPECT_EQ(plain->product, 0x40f2);
    EXPECT_EQ(plain->serial, 7u);
    EXPECT_TRUE(plain->serialText.isEmpty());
    for (const auto &[given, read] :
         {std::pair{"7XK2M83", "7XK2M83"}, std::pair{"ABCDEFGHIJKLM", "ABCDEFGHIJKLM"},
          std::pair{"  padded", "padded"}}) {
        const auto identity = edidIdentity(QByteArray::fromStdString(makeEdid("DEL", 0x40f2, 0, given)));
        ASSERT_TRUE(identity) << given;
        EXPECT_EQ(identity->serialText, QString::fromLatin1(read)) << given;
    }
    // Without the text the uuid is as it always was; with it, and with the
    // output's name for repeated identities, it differs.
    using Dispor::X11::outputUuid;
    const auto withText = edidIdentity(QByteArray::fromStdString(makeEdid("DEL", 0x40f2, 7, "X")));
    const QStringList uuids = {outputUuid(plain, u"DP-1"_qs), outputUuid(withText, u"DP-1"_qs),
                               outputUuid(plain, u"DP-1"_qs, true), outputUuid(plain, u"DP-2"_qs, true),
                               outputUuid(std::nullopt, u"DP-1"_qs)};
    EXPECT_EQ(QSet<QString>(uuids.begin(), uuids.end()).size(), uuids.size());
    EXPECT_EQ(outputUuid(plain, u"DP-1"_qs), outputUuid(plain, u"HDMI-1"_qs));

    // Make, model and serial number: the product's name where the EDID has
    // its descriptor (second here), the serial text before the number.
    std::string named = makeEdid("DEL", 0x40f2, 7, "7XK2M83");
    named.replace(72, 18, std::string("\0\0\0\xfc\0DELL U2720Q\n  ", 18));
    const struct {
        std::optional<Dispor::X11::EdidIdentity> edid;
        QStringList identity;
    } identities[] = {
        {plain, {u"DEL"_qs, u"0x40f2"_qs, u"7"_qs}},
        {edidIdentity(QByteArray::fromStdString(makeEdid("GSM", 0x5b09, 0))), {u"GSM"_qs, u"0x5b09"_qs, {}}},
        {edidIdentity(QByteArray::fromStdString(named)), {u"DEL"_qs, u"DELL U2720Q"_qs, u"7XK2M83"_qs}},
    };
    for (const auto &c : identities) {
        ASSERT_TRUE(c.edid);
        QString make, model, serial;
        Dispor::X11::identify(*c.edid, &make, &model, &serial);
        EXPECT_EQ((QStringList{make, model, serial}), c.identity);
    }
}

TEST(X11Names, RotationsBothWays)
{
    using R = Dispor::Output::Rotation;
    constexpr uint16_t r0 = 1, r90 = 2, r180 = 4, r270 = 8, x = 16, y = 32, all = 63;
    const std::pair<R, uint16_t> cases[] = {
        {R::None, r0},        {R::Left, r90},          {R::Inverted, r180},       {R::Right, r270},
        {R::Flipped, x | r0}, {R::Flipped90, x | r90}, {R::Flipped180, x | r180}, {R::Flipped270, x | r270},
    };
    for (const auto &[rotation, randr] : cases) {
        EXPECT_EQ(Dispor::X11::rotationToRandr(rotation, all), randr) << int(rotation);
        EXPECT_EQ(Dispor::X11::rotationFromRandr(randr), rotation) << randr;
    }
    // A reflection in y is one in x turned half round.
    EXPECT_EQ(Dispor::X11::rotationFromRandr(y | r0), R::Flipped180);
    EXPECT_EQ(Dispor::X11::rotationFromRandr(y | r90), R::Flipped270);
    EXPECT_EQ(Dispor::X11::rotationFromRandr(x | y | r0), R::Inverted);
    EXPECT_EQ(Dispor::X11::rotationToRandr(R::Flipped, r0 | r180 | y), y | r180);
    EXPECT_EQ(Dispor::X11::rotationToRandr(R::Inverted, r0 | x | y), x | y | r0);
    // What the CRTC cannot show at all.
    EXPECT_EQ(Dispor::X11::rotationToRandr(R::Left, r0), 0);
    EXPECT_EQ(Dispor::X11::rotationToRandr(R::Flipped, r0 | r90), 0);
}

TEST(X11Names, CustomModeNamesReadBackToTheSameMode)
{
    Dispor::ModeTimings timings{712750, 3840, 4160, 4576, 5312, 0, 2160, 2163, 2168, 2237, 1, 6};
    const Dispor::ModeInfo modes[] = {
        {1920, 1080, 60.0f, 1, std::nullopt},
        {1920, 1080, 59.94f, 3, std::nullopt},
        {1000, 700, 75.5f, 1, std::nullopt},
        {3840, 2160, 59.981f, 1, timings},
    };
    for (const Dispor::ModeInfo &mode : modes) {
        const QByteArray name = Dispor::X11::customModeName(mode);
        EXPECT_TRUE(name.startsWith("dispor:")) << name.constData();
        EXPECT_EQ(Dispor::X11::parseCustomModeName(name), mode) << name.constData();
    }
    for (const char *name : {"1920x1080", "dispor:1920x1080@60", "dispor:1920x1080@sixty:f1",
                             "dispor:1x1@60:f1:1/2/3", "dispor:1920x1080@60:f1 "})
        EXPECT_FALSE(Dispor::X11::parseCustomModeName(name)) << name;
}

} // namespace
} // namespace x11
