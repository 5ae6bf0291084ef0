// The default set, computed values, custom modes offered as modes, and the
// priority ranking.

#include "support.h"

#include "../../dispor/src/backend.h"
#include "../../dispor/src/custom_mode_ids.h"
#include "../../dispor/src/virtual/document.h"

#include <QSet>

#include <charconv>
#include <optional>

namespace dispor_test {
namespace {

using O = Dispor::Output;

TEST(DefaultSet, IsALaptopPanelWithAnHdrMonitorAndAnEmptyHdmiPort)
{
    VirtualSet set;
    const Dispor::ConfigPtr config = fetch();
    ASSERT_TRUE(config);
    const Dispor::OutputPtr panel = config->output(1), monitor = config->output(2), hdmi = config->output(3);
    ASSERT_TRUE(panel && monitor && hdmi);

    EXPECT_EQ(panel->name(), "eDP-1");
    EXPECT_EQ(panel->type(), O::Type::Panel);
    EXPECT_EQ(config->primaryOutput(), panel);
    EXPECT_EQ(panel->priority(), 1u);
    EXPECT_EQ(panel->geometry(), QRect(0, 0, 2048, 1280));
    EXPECT_EQ(panel->currentMode(), panel->preferredMode());
    EXPECT_EQ(panel->currentMode()->size(), QSize(2560, 1600));
    EXPECT_EQ(panel->modes().size(), 6);
    EXPECT_TRUE(panel->capabilities().testFlags(O::Capability::BrightnessControl |
                                                O::Capability::AutomaticBrightness |
                                                O::Capability::BuiltInColorProfile | O::Capability::Abm |
                                                O::Capability::AutoRotation | O::Capability::Disable));
    EXPECT_FALSE(panel->capabilities().testFlag(O::Capability::HighDynamicRange));

    EXPECT_EQ(monitor->name(), "DP-1");
    EXPECT_EQ(monitor->type(), O::Type::DisplayPort);
    EXPECT_EQ(monitor->priority(), 2u);
    EXPECT_EQ(monitor->geometry(), QRect(2048, 0, 2560, 1440)) << "right of the panel";
    EXPECT_EQ(monitor->currentMode()->size(), QSize(3840, 2160));
    EXPECT_EQ(monitor->currentMode()->refreshRate(), 60.0f);
    EXPECT_EQ(monitor->modes().size(), 7);
    EXPECT_TRUE(monitor->capabilities().testFlags(
        O::Capability::HighDynamicRange | O::Capability::WideColorGamut | O::Capability::HdrIccProfile |
        O::Capability::IccProfile | O::Capability::Vrr | O::Capability::RgbRange |
        O::Capability::MaxBitsPerColor | O::Capability::DdcCi | O::Capability::Edr | O::Capability::Overscan |
        O::Capability::Disable | O::Capability::CustomModes));
    EXPECT_FALSE(monitor->capabilities().testFlag(O::Capability::BrightnessControl));
    EXPECT_EQ(monitor->maxPeakBrightness(), 600.0);
    EXPECT_EQ(monitor->maxAverageBrightness(), 400.0);
    EXPECT_EQ(monitor->minBrightness(), 0.05);
    EXPECT_EQ(monitor->bitsPerColorRange(), (O::BpcRange{6, 12}));

    EXPECT_EQ(hdmi->name(), "HDMI-A-1");
    EXPECT_EQ(hdmi->type(), O::Type::HDMI);
    EXPECT_FALSE(hdmi->isConnected());
    EXPECT_FALSE(hdmi->isEnabled());
    EXPECT_EQ(hdmi->priority(), 0u);
    EXPECT_EQ(config->connectedOutputs().keys(), (QList<int>{1, 2}));

    QSet<QString> uuids;
    for (const Dispor::OutputPtr &o : config->outputs())
        uuids.insert(o->uuid());
    EXPECT_EQ(uuids.size(), 3) << "uuids are distinct and set";
    EXPECT_FALSE(uuids.contains(""));
}

TEST(DefaultSet, FirstApplyWritesItWithTheChange)
{
    VirtualSet set;
    Dispor::ConfigPtr config = fetch();
    config->output(1)->setBrightness(0.5);
    ASSERT_EQ(apply(config), "");
    Dispor::Virtual::Outputs written;
    QString fault;
    ASSERT_TRUE(Dispor::Virtual::parseDocument(QByteArray::fromStdString(set.read()), &written, &fault));
    Dispor::Virtual::Outputs expected = Dispor::Virtual::defaultSet();
    expected[0].brightness = 0.5;
    EXPECT_EQ(Dispor::Virtual::writeDocument(written), Dispor::Virtual::writeDocument(expected));
}

TEST(Computed, LogicalSizeRoundsAndTurnsWithTheRotation)
{
    struct Case {
        const char *extra;
        QSize logical;
        QRect geometry;
    };
    const std::string mode = R"("modes": [{"id": "1", "width": 2560, "height": 1440, "refreshRate": 60}],
                                "currentModeId": "1", "pos": {"x": 10, "y": 20})";
    const Case cases[] = {
        {R"("scale": 1)", {2560, 1440}, {10, 20, 2560, 1440}},
        {R"("scale": 1.5)", {1707, 960}, {10, 20, 1707, 960}},
        {R"("scale": 1.5, "rotation": "90")", {960, 1707}, {10, 20, 960, 1707}},
        {R"("scale": 2, "rotation": "270")", {720, 1280}, {10, 20, 720, 1280}},
        {R"("scale": 2, "rotation": "180")", {1280, 720}, {10, 20, 1280, 720}},
        {R"("scale": 2, "rotation": "flipped90")", {720, 1280}, {10, 20, 720, 1280}},
        {R"("scale": 2, "rotation": "flipped270")", {720, 1280}, {10, 20, 720, 1280}},
        {R"("scale": 2, "rotation": "flipped")", {1280, 720}, {10, 20, 1280, 720}},
        {R"("size": {"width": 1000, "height": 600}, "scale": 3)", {333, 200}, {10, 20, 333, 200}},
        {R"("scale": 2, "explicitLogicalSize": {"width": 999.6, "height": 100.4})",
         {1280, 720},
         {10, 20, 1000, 100}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.extra);
        VirtualSet set(document(output(1, "A", mode + ", " + c.extra)));
        const Dispor::ConfigPtr config = fetch();
        ASSERT_TRUE(config);
        EXPECT_EQ(config->logicalSizeForOutputInt(config->output(1)), c.logical);
        EXPECT_EQ(config->output(1)->geometry(), c.geometry);
    }
}

TEST(CustomModes, EachIsOfferedAsAModeWithAnIdOfItsOwn)
{
    const Dispor::ModeTimings timings{712750, 3840, 4160, 4576, 5312, 0, 2160, 2163, 2168, 2237, 1, 6};
    VirtualSet set(document(output(1, "A", R"("capabilities": ["custom-modes"],
        "modes": [{"id": "1", "width": 1920, "height": 1080, "refreshRate": 60},
                  {"id": "custom-1280x720@50.00", "width": 1280, "height": 720, "refreshRate": 50}],
        "currentModeId": "1")")));
    Dispor::ConfigPtr config = fetch();
    const QList<Dispor::ModeInfo> customs = {
        {1920, 1080, 60.0f, 1, std::nullopt},
        {1920, 1080, 60.0f, 3, std::nullopt},
        {3840, 2160, 59.981f, 1, timings},
        {1280, 720, 50.0f, 1, std::nullopt}, // the document has a mode of that id
        {1920, 1080, 60.001f, 1, std::nullopt},
        {800, 600, 56.0f, 0, std::nullopt},
    };
    config->output(1)->setCustomModes(customs);
    ASSERT_EQ(apply(config), "");

    config = fetch();
    const Dispor::ModeList modes = config->output(1)->modes();
    EXPECT_EQ(modes.keys(),
              (QStringList{"1", "custom-1280x720@50.00", "custom-1280x720@50.00-2", "custom-1920x1080@60.00",
                           "custom-1920x1080@60.00-rb", "custom-1920x1080@60.001",
                           "custom-3840x2160@59.981-tadd01992", "custom-800x600@56.00-f0"}));
    const Dispor::ModePtr timed = modes.value("custom-3840x2160@59.981-tadd01992");
    ASSERT_TRUE(timed);
    EXPECT_EQ(timed->size(), QSize(3840, 2160));
    EXPECT_EQ(timed->refreshRate(), 59.981f);

    // Removing other custom modes keeps an id; setting the mode sticks.
    const Dispor::OutputPtr a = config->output(1);
    a->setCustomModes({customs[1], customs[2]});
    a->setCurrentModeId("custom-3840x2160@59.981-tadd01992");
    a->setSize({3840, 2160});
    ASSERT_EQ(apply(config), "");
    config = fetch();
    EXPECT_EQ(config->output(1)->currentModeId(), "custom-3840x2160@59.981-tadd01992");
    EXPECT_EQ(config->output(1)->currentMode()->size(), QSize(3840, 2160));
    EXPECT_EQ(config->output(1)->size(), QSize(3840, 2160));
    EXPECT_EQ(config->output(1)->customModes(), (QList<Dispor::ModeInfo>{customs[1], customs[2]}));

    // A service holds a custom mode once.
    config->output(1)->setCustomModes({customs[1], customs[2], customs[1]});
    EXPECT_EQ(apply(config), "A: \"customModes[2]\" is the same as \"customModes[0]\"");

    // The current custom mode cannot go away under the output.
    config->output(1)->setCustomModes({customs[1]});
    EXPECT_EQ(apply(config),
              "A: \"currentModeId\" \"custom-3840x2160@59.981-tadd01992\" is not one of the output's modes");
}

TEST(CustomModes, IdsDependOnlyOnContent)
{
    using Dispor::customModeIds;
    const Dispor::ModeInfo a{1920, 1080, 60.0f, 1, std::nullopt};
    const Dispor::ModeInfo b{2560, 1440, 144.0f, 1, std::nullopt};
    EXPECT_EQ(customModeIds({}, {a, b}), (QStringList{"custom-1920x1080@60.00", "custom-2560x1440@144.00"}));
    EXPECT_EQ(customModeIds({}, {b}), (QStringList{"custom-2560x1440@144.00"}));
    EXPECT_EQ(customModeIds({}, {b, a}), (QStringList{"custom-2560x1440@144.00", "custom-1920x1080@60.00"}));
    EXPECT_EQ(customModeIds({}, {a, a, a}), (QStringList{"custom-1920x1080@60.00", "custom-1920x1080@60.00-2",
                                                         "custom-1920x1080@60.00-3"}));

    // Ids a document's own modes hold are passed over.
    Dispor::ModeList own;
    for (const QString &id : {u"custom-1920x1080@60.00"_qs, u"custom-1920x1080@60.00-3"_qs})
        own.insert(Dispor::ModePtr::create(id, QSize(1, 1), 1.0f));
    EXPECT_EQ(customModeIds(own, {a, b, a, a}),
              (QStringList{"custom-1920x1080@60.00-2", "custom-2560x1440@144.00", "custom-1920x1080@60.00-4",
                           "custom-1920x1080@60.00-5"}));

    // Numbered in one pass: a long run of equal ones (which only a hash
    // collision of their timings could give a document) costs a step each.
    const QStringList many = customModeIds({}, QList<Dispor::ModeInfo>(20000, a));
    EXPECT_EQ(many.size(), 20000);
    EXPECT_EQ(many.last(), "custom-1920x1080@60.00-20000");
    EXPECT_EQ(QSet<QString>(many.cbegin(), many.cend()).size(), 20000);
}

// A rate in an id: two decimals where they read back as the rate, else its
// shortest exact form; checked against that rule over a sweep of rates.
TEST(CustomModes, RatesInIdsReadBackExactly)
{
    const auto expected = [](float rate) {
        char text[64];
        auto end = std::to_chars(text, text + sizeof text, double(rate), std::chars_format::fixed, 2).ptr;
        double back = 0;
        std::from_chars(text, end, back);
        if (static_cast<float>(back) != rate)
            end = std::to_chars(text, text + sizeof text, rate).ptr;
        return "custom-1x1@" + QString::fromLatin1(text, end - text);
    };
    QList<float> rates{0.0f, 0.125f, 0.005f, 59.94f, 23.976f, 119.88f, 999999.94f, 1e6f, 3e38f, 1e-30f};
    for (int step = 0; step <= 400000; step += 7)
        rates.append(float(step) / 1000);
    for (const float rate : std::as_const(rates))
        EXPECT_EQ(Dispor::customModeIds({}, {{1, 1, rate, 1, std::nullopt}}).value(0), expected(rate))
            << rate;
}

// Ranks by name, for a compact comparison.
QMap<QString, uint32_t> ranks(const Dispor::ConfigPtr &config)
{
    QMap<QString, uint32_t> result;
    for (const Dispor::OutputPtr &o : config->outputs())
        result.insert(o->name(), o->priority());
    return result;
}

const std::string fourOutputs =
    document(output(1, "A", R"("priority": 1, "capabilities": ["disable"])") + "," +
             output(2, "B", R"("priority": 2, "capabilities": ["disable"])") + "," +
             output(3, "C", R"("priority": 3, "capabilities": ["disable"])") + "," +
             output(4, "D", R"("enabled": false)"));

TEST(ModeList, KeepsQStringOrderOneModePerIdAndFindsEach)
{
    // Order of insertion is not the order kept; a repeated id replaces.
    const QStringList ids{u"10"_qs,     u"2"_qs,          u"1"_qs,        u"b"_qs,  u"a"_qs,
                          u"\u00e4"_qs, u"\U0001F600"_qs, u"custom-1"_qs, u"1x"_qs, u"A"_qs};
    Dispor::ModeList modes;
    for (const QString &id : ids)
        modes.insert(Dispor::ModePtr::create(id, QSize(1, 1), 60.0f));
    const Dispor::ModePtr again = Dispor::ModePtr::create(u"2"_qs, QSize(2, 2), 50.0f);
    modes.insert(again);

    QStringList sorted = ids;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(modes.keys(), sorted);
    for (const QString &id : ids)
        EXPECT_EQ(modes.value(id)->id(), id);
    EXPECT_EQ(modes.value(u"2"_qs), again);
    EXPECT_FALSE(modes.contains(u"3"_qs));
    EXPECT_TRUE(modes.value(u""_qs).isNull());

    EXPECT_EQ(modes.remove(u"b"_qs), 1);
    EXPECT_EQ(modes.remove(u"b"_qs), 0);
    sorted.removeOne(u"b"_qs);
    EXPECT_EQ(modes.keys(), sorted);
}

// Copies share their state until one is written, through a setter or the
// backends' dataOf alike; an empty list has nothing to walk.
TEST(SharedState, ACopyKeepsItsValuesWhenTheOtherChanges)
{
    Dispor::ModeList modes;
    EXPECT_EQ(modes.begin(), modes.end());
    EXPECT_TRUE(modes.isEmpty());
    modes.insert(Dispor::ModePtr::create(u"1"_qs, QSize(1, 1), 60.0f));
    const Dispor::ModeList kept = modes;
    modes.insert(Dispor::ModePtr::create(u"0"_qs, QSize(1, 1), 60.0f));
    EXPECT_EQ(modes.remove(u"1"_qs), 1);
    EXPECT_EQ(kept.keys(), QStringList{u"1"_qs});
    EXPECT_EQ(modes.keys(), QStringList{u"0"_qs});
    EXPECT_NE(kept, modes);
    modes.clear();
    EXPECT_EQ(modes.begin(), modes.end());

    O::Data data;
    data.name = u"DP-1"_qs;
    data.modes = kept;
    O output(data);
    const O copy = output;
    output.setScale(2);
    Dispor::dataOf(output).name = u"DP-2"_qs;
    EXPECT_EQ(copy.scale(), 1.0);
    EXPECT_EQ(copy.name(), "DP-1");
    EXPECT_EQ(output.name(), "DP-2");
    EXPECT_EQ(copy.modes(), output.modes());
    EXPECT_EQ(O().isConnected(), O::Data().connected);

    // Modes read from a document share one block: a copy of one, and a
    // pointer to another, outlive the list and the snapshot.
    VirtualSet set(document(dispor_test::output(1, "A", R"("modes": [
        {"id": "1", "width": 1920, "height": 1080, "refreshRate": 60},
        {"id": "2", "width": 1280, "height": 720, "refreshRate": 50}], "currentModeId": "1")")));
    Dispor::ModePtr second;
    std::optional<Dispor::Mode> first;
    {
        const Dispor::ModeList read = fetch()->output(1)->modes();
        second = read.value(u"2"_qs);
        first.emplace(*read.value(u"1"_qs));
    }
    ASSERT_TRUE(second && first);
    EXPECT_EQ(second->size(), QSize(1280, 720));
    EXPECT_EQ(first->id(), "1");
    EXPECT_EQ(first->size(), QSize(1920, 1080));
}

TEST(Priorities, MovesShiftTheOthersAndStayDense)
{
    struct Case {
        const char *name;
        QString output;
        uint32_t priority;
        QMap<QString, uint32_t> expected;
    };
    const Case cases[] = {
        {"last to first", "C", 1, {{"A", 2}, {"B", 3}, {"C", 1}, {"D", 0}}},
        {"first to second", "A", 2, {{"A", 2}, {"B", 1}, {"C", 3}, {"D", 0}}},
        {"beyond the end", "A", 100, {{"A", 3}, {"B", 1}, {"C", 2}, {"D", 0}}},
        {"onto itself", "B", 2, {{"A", 1}, {"B", 2}, {"C", 3}, {"D", 0}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        VirtualSet set(fourOutputs);
        const Dispor::ConfigPtr config = fetch();
        config->setOutputPriority(byName(config, c.output), c.priority);
        EXPECT_EQ(ranks(config), c.expected) << "in the snapshot";
        EXPECT_EQ(config->primaryOutput()->name(), c.expected.key(1));
        ASSERT_EQ(apply(config), "");
        EXPECT_EQ(ranks(fetch()), c.expected) << "as applied";
    }
}

TEST(Priorities, AnOutputOutsideTheRankingIsRefused)
{
    VirtualSet set(fourOutputs);
    const std::string before = set.read();
    const Dispor::ConfigPtr config = fetch();
    config->setOutputPriority(byName(config, "D"), 1);
    EXPECT_EQ(ranks(config), (QMap<QString, uint32_t>{{"A", 1}, {"B", 2}, {"C", 3}, {"D", 0}}));
    EXPECT_EQ(apply(config), "D: a disabled output has no place in the ranking of priorities");
    EXPECT_EQ(set.read(), before);
}

TEST(Priorities, EnabledOutputsJoinAtTheEndAndDisabledOnesLeave)
{
    VirtualSet set(fourOutputs);
    Dispor::ConfigPtr config = fetch();
    byName(config, "D")->setEnabled(true);
    byName(config, "A")->setEnabled(false);
    ASSERT_EQ(apply(config), "");
    EXPECT_EQ(ranks(fetch()), (QMap<QString, uint32_t>{{"A", 0}, {"B", 1}, {"C", 2}, {"D", 3}}));

    // Enabling and ranking in one snapshot: the move comes after the join.
    config = fetch();
    byName(config, "A")->setEnabled(true);
    config->setOutputPriority(byName(config, "C"), 1);
    ASSERT_EQ(apply(config), "");
    EXPECT_EQ(ranks(fetch()), (QMap<QString, uint32_t>{{"A", 4}, {"B", 2}, {"C", 1}, {"D", 3}}));
}

TEST(Priorities, OutputsEnabledTogetherJoinInIdOrder)
{
    VirtualSet set(document(output(9, "Z", R"("priority": 1)") + "," + output(5, "Y", R"("enabled": false)") +
                            "," + output(2, "X", R"("enabled": false)")));
    const Dispor::ConfigPtr config = fetch();
    byName(config, "Y")->setEnabled(true);
    byName(config, "X")->setEnabled(true);
    ASSERT_EQ(apply(config), "");
    EXPECT_EQ(ranks(fetch()), (QMap<QString, uint32_t>{{"X", 2}, {"Y", 3}, {"Z", 1}}));
}

TEST(Priorities, AnUnevenHandWrittenRankingIsWrittenDense)
{
    VirtualSet set(document(output(1, "A", R"("priority": 5)") + "," + output(2, "B", R"("priority": 0)") +
                            "," + output(3, "C", R"("priority": 5)") + "," +
                            output(4, "D", R"("priority": 2, "connected": false)")));
    Dispor::ConfigPtr config = fetch();
    EXPECT_EQ(ranks(config), (QMap<QString, uint32_t>{{"A", 5}, {"B", 0}, {"C", 5}, {"D", 2}}))
        << "read as it is";
    EXPECT_FALSE(config->primaryOutput());
    config->output(2)->setPos({1, 1});
    ASSERT_EQ(apply(config), "");
    EXPECT_EQ(ranks(fetch()), (QMap<QString, uint32_t>{{"A", 1}, {"B", 3}, {"C", 2}, {"D", 0}}));
}

TEST(Priorities, ConcurrentMovesReplayOntoTheRankingReadAgain)
{
    VirtualSet set(fourOutputs);
    const Dispor::ConfigPtr first = fetch();
    const Dispor::ConfigPtr second = fetch();
    first->setOutputPriority(byName(first, "C"), 1);
    second->setOutputPriority(byName(second, "B"), 1);
    ASSERT_EQ(apply(first), "");
    EXPECT_EQ(apply(second).rfind("conflict: ", 0), 0u);
    // Redone on the ranking as the first left it.
    const Dispor::ConfigPtr again = fetch();
    again->setOutputPriority(byName(again, "B"), 1);
    ASSERT_EQ(apply(again), "");
    EXPECT_EQ(ranks(fetch()), (QMap<QString, uint32_t>{{"A", 3}, {"B", 1}, {"C", 2}, {"D", 0}}));
}

TEST(Priorities, ZeroChangesNothing)
{
    VirtualSet set(fourOutputs);
    const Dispor::ConfigPtr config = fetch();
    config->setOutputPriority(byName(config, "A"), 0);
    EXPECT_EQ(ranks(config), (QMap<QString, uint32_t>{{"A", 1}, {"B", 2}, {"C", 3}, {"D", 0}}));
    EXPECT_TRUE(originOf(*config).priorityRequests.isEmpty());
}

} // namespace
} // namespace dispor_test
