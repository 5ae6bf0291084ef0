// What a server that mirrors allows, shared by the X11 and GNOME backends.

#include "../../dispor/src/mirroring.h"

#include <gtest/gtest.h>

namespace dispor_test {
namespace {

using namespace Dispor::Mirroring;
using Data = Dispor::Output::Data;

Data output(int id, const char *name, int source = 0, bool enabled = true)
{
    Data d;
    d.id = id;
    d.name = QString::fromLatin1(name);
    d.replicationSource = source;
    d.enabled = enabled;
    return d;
}

TEST(Mirroring, RefusalsNameWhatStandsInTheWay)
{
    // B mirrors C; D is off.
    const QMap<int, Data> outputs{{2, output(2, "B", 3)}, {3, output(3, "C")}, {4, output(4, "D", 0, false)}};
    const struct {
        Data replica;
        Chain chain;
        const char *refusal;
    } cases[] = {
        {output(1, "A", 3), Chain::Named, ""},
        {output(1, "A", 1), Chain::Named, "the output cannot mirror itself"},
        {output(1, "A", 9), Chain::Unnamed, "the replication source 9 is no output"},
        {output(1, "A", 4), Chain::Named, "cannot mirror D, which is disabled"},
        {output(1, "A", 2), Chain::Named, "cannot mirror B, which mirrors C"},
        {output(3, "C", 2), Chain::Named, "cannot mirror B, which mirrors C; end that mirror first"},
        {output(3, "C", 2), Chain::Unnamed, "cannot mirror B, which mirrors another output"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(refusal(c.replica, outputs, c.chain).toStdString(), c.refusal) << c.refusal;
}

TEST(Mirroring, ModeOfTheSourceSizeNearestInRate)
{
    const QSize hd(1920, 1080);
    const QList<Candidate> modes{{QStringLiteral("a"), QSize(1280, 720), 60},
                                 {QStringLiteral("b"), hd, 50},
                                 {QStringLiteral("c"), hd, 59.94f},
                                 {QStringLiteral("d"), hd, 59.94f}};
    EXPECT_EQ(modeFor(modes, hd, 60), QStringLiteral("c")); // the first of equals
    EXPECT_EQ(modeFor(modes, hd, 48), QStringLiteral("b"));
    EXPECT_EQ(modeFor(modes, QSize(800, 600), 60), QString());
    EXPECT_EQ(noModeRefusal(QStringLiteral("B"), hd),
              QStringLiteral("cannot mirror B: the output has no mode of 1920x1080"));
}

} // namespace
} // namespace dispor_test
