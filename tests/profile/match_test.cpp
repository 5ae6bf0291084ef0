#include "match.h"
#include "outputs.h"

#include <gtest/gtest.h>

namespace {

using namespace profile;
using unit::makeConfig;

Identity monitor(const char *make, const char *model, const char *serial)
{
    return {QString::fromUtf8(make), QString::fromUtf8(model), QString::fromUtf8(serial), {}};
}

Identity connector(const char *name)
{
    return {{}, {}, {}, QString::fromUtf8(name)};
}

Candidate candidate(const char *name, const std::vector<Identity> &identities)
{
    Candidate result{QString::fromUtf8(name), {}};
    for (const Identity &identity : identities) {
        OutputSettings settings;
        settings.identity = identity;
        result.profile.outputs.append(settings);
    }
    return result;
}

// eDP-1 has no identity; two monitors alike on DP-1 and DP-2; a third one
// on HDMI-A-1; DP-3 is not connected.
const std::vector<unit::Spec> docked = {
    {1, "eDP-1"},
    {2, "DP-1", "Dell", "U2720Q", "A1"},
    {3, "DP-2", "Dell", "U2720Q", "A1"},
    {4, "HDMI-A-1", "LG", "27UL500", ""},
    {5, "DP-3", "Acer", "X", "1", false},
};

TEST(Identity, ConnectorOnlyWhereTheMonitorCannotBeToldApart)
{
    const Dispor::ConfigPtr config = makeConfig(docked);
    const Dispor::OutputList connected = config->connectedOutputs();
    EXPECT_EQ(identityOf(*config->output(1), connected), connector("eDP-1"));
    EXPECT_EQ(identityOf(*config->output(2), connected), connector("DP-1"));
    EXPECT_EQ(identityOf(*config->output(3), connected), connector("DP-2"));
    EXPECT_EQ(identityOf(*config->output(4), connected), monitor("LG", "27UL500", ""));
}

TEST(Match, ChoosesTheExactSetPreferringIdentities)
{
    const Dispor::OutputList connected = makeConfig(docked)->connectedOutputs();
    const Identity edp = connector("eDP-1"), dp1 = connector("DP-1"), dp2 = connector("DP-2");
    const Identity lg = monitor("LG", "27UL500", ""), hdmi = connector("HDMI-A-1");
    struct Case {
        const char *what;
        std::vector<Candidate> candidates;
        qsizetype chosen;
        QStringList tie = {};
    };
    const std::vector<Case> cases = {
        {"the exact set", {candidate("all", {edp, dp1, dp2, lg})}, 0},
        {"order does not matter", {candidate("all", {lg, dp2, edp, dp1})}, 0},
        {"an output missing", {candidate("three", {edp, dp1, lg})}, -1},
        {"an output too many", {candidate("five", {edp, dp1, dp2, lg, connector("DP-3")})}, -1},
        {"a monitor not there", {candidate("other", {edp, dp1, dp2, monitor("LG", "27UL500", "X")})}, -1},
        {"a monitor connected twice",
         {candidate("twice", {edp, monitor("Dell", "U2720Q", "A1"), dp2, lg})},
         -1},
        {"one output named twice", {candidate("dup", {edp, dp1, dp1, lg})}, -1},
        {"identity beats connector",
         {candidate("byname", {edp, dp1, dp2, hdmi}), candidate("bymonitor", {edp, dp1, dp2, lg})},
         1},
        {"identity beats connector, either order",
         {candidate("bymonitor", {edp, dp1, dp2, lg}), candidate("byname", {edp, dp1, dp2, hdmi})},
         0},
        {"a tie is refused",
         {candidate("a", {edp, dp1, dp2, lg}), candidate("b", {lg, edp, dp1, dp2})},
         -1,
         {"a", "b"}},
        {"a better match ends a tie",
         {candidate("a", {edp, dp1, dp2, hdmi}), candidate("b", {hdmi, edp, dp1, dp2}),
          candidate("c", {edp, dp1, dp2, lg})},
         2},
    };
    for (const Case &c : cases) {
        const Choice choice = choose(QList<Candidate>(c.candidates.begin(), c.candidates.end()), connected);
        EXPECT_EQ(choice.index, c.chosen) << c.what;
        EXPECT_EQ(choice.tie, c.tie) << c.what;
    }
}

TEST(Match, SaysWhyAProfileDoesNotFit)
{
    const Dispor::OutputList connected = makeConfig(docked)->connectedOutputs();
    const Identity edp = connector("eDP-1"), dp1 = connector("DP-1"), dp2 = connector("DP-2");
    const std::vector<std::pair<Candidate, const char *>> cases = {
        {candidate("p", {edp, dp1, dp2, monitor("LG", "27UL500", "X")}), "LG 27UL500 X is not connected"},
        {candidate("p", {edp, dp1, dp2}), "HDMI-A-1 is connected but not in the profile"},
        {candidate("p", {edp, monitor("Dell", "U2720Q", "A1")}),
         "Dell U2720Q A1 is connected more than once"},
    };
    for (const auto &[c, why] : cases)
        EXPECT_EQ(mismatch(c.profile, connected), QString::fromUtf8(why));
}

TEST(Match, TheConnectedKeyIgnoresOrderAndSeesIdentities)
{
    const Dispor::ConfigPtr config = makeConfig(docked);
    const QStringList key = connectedKey(config->connectedOutputs());
    Dispor::OutputList reversed;
    for (const Dispor::OutputPtr &output : config->connectedOutputs())
        reversed.insert(10 - output->id(), output);
    EXPECT_EQ(connectedKey(reversed), key);
    std::vector<unit::Spec> swapped = docked;
    swapped[3].serial = "B2";
    EXPECT_NE(connectedKey(makeConfig(swapped)->connectedOutputs()), key);
}

} // namespace
