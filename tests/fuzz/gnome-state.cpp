// What the GNOME backend makes of mutter's state, whatever mutter reports:
// the outputs it reads from it, and the plan that carries a change back.
// The state is written as text, one record a line (a mode belongs to the
// monitor before it; "-" leaves an optional field out):
//   state SERIAL LAYOUT-MODE CAN-CHANGE-LAYOUT-MODE POWER
//   monitor CONNECTOR VENDOR PRODUCT SERIAL BUILTIN UNDERSCANNING COLOR-MODE COLOR-MODES
//   mode ID WIDTH HEIGHT REFRESH CURRENT PREFERRED SCALES
//   logical X Y SCALE TRANSFORM PRIMARY CONNECTOR…
//   luminance [CONNECTOR COLOR-MODE LUMINANCE DEFAULT UNSET]
//   backlight [CONNECTOR ACTIVE MIN MAX VALUE]
// (lists comma-separated); then the change, if any, as
//   change CONNECTOR enabled|x|y|scale|mode|rotation|mirror|brightness|dimming|hdr|priority VALUE

#include "fuzz.h"

#include "backend.h"
#include "gnome/model.h"

#include <QSet>

#include <algorithm>
#include <cmath>

namespace {

using namespace Dispor::Gnome;
using Data = Dispor::Output::Data;

struct Change {
    QString connector;
    QString key;
    QString value;
};

std::optional<uint32_t> optionalNumber(const QString &word)
{
    return word == u"-" ? std::nullopt : std::optional(word.toUInt());
}

// The doubles of a state as mutter sends them: finite. The model takes that
// for granted but for the luminance, and the reply's reader does not check
// it: a NaN compares unequal to itself, so that a snapshot left alone would
// plan a change. Backlight levels take any 32-bit value.
double real(const QString &word)
{
    const double value = word.toDouble();
    return std::isfinite(value) ? value : 0;
}

std::optional<int> level(const QString &word)
{
    return word == u"-" ? std::nullopt : std::optional(word.toInt());
}

QList<uint32_t> colorModes(const QString &word)
{
    QList<uint32_t> list;
    for (const QString &part : word.split(u',', Qt::SkipEmptyParts))
        list.append(part.toUInt());
    return list;
}

QList<double> scales(const QString &word)
{
    QList<double> list;
    for (const QString &part : word.split(u',', Qt::SkipEmptyParts))
        list.append(real(part));
    return list;
}

// Mutter names each monitor once: a repeated connector is left out here,
// with its modes, as no state mutter sends has one.
State readState(const QString &text, std::optional<Change> *change)
{
    State state;
    bool inMonitor = false;
    for (const QString &line : text.split(u'\n')) {
        QStringList w = line.split(u' ');
        const QString kind = w.takeFirst();
        while (w.size() < 8)
            w.append(QString());
        if (kind == u"state") {
            state.serial = w[0].toUInt();
            state.layoutMode = w[1].toUInt();
            state.canChangeLayoutMode = w[2] == u"1";
            state.power = w[3].toInt();
        } else if (kind == u"monitor") {
            inMonitor = std::none_of(state.monitors.begin(), state.monitors.end(),
                                     [&](const MonitorState &m) { return m.connector == w[0]; });
            if (!inMonitor)
                continue;
            MonitorState m;
            m.connector = w[0];
            m.vendor = w[1];
            m.product = w[2];
            m.serial = w[3];
            m.builtin = w[4] == u"1";
            if (w[5] != u"-")
                m.underscanning = w[5] == u"1";
            m.colorMode = optionalNumber(w[6]);
            m.colorModes = colorModes(w[7]);
            state.monitors.append(m);
        } else if (kind == u"mode" && inMonitor) {
            state.monitors.last().modes.append(
                {w[0], w[1].toInt(), w[2].toInt(), real(w[3]), scales(w[6]), w[4] == u"1", w[5] == u"1"});
        } else if (kind == u"logical") {
            LogicalState l{w[0].toInt(), w[1].toInt(), real(w[2]), w[3].toUInt(), w[4] == u"1", {}};
            for (qsizetype i = 5; i < w.size() && !w[i].isEmpty(); ++i)
                l.connectors.append(w[i]);
            state.logical.append(l);
        } else if (kind == u"luminance") {
            if (!state.luminance)
                state.luminance.emplace();
            if (!w[0].isEmpty())
                state.luminance->append({w[0], w[1].toUInt(), real(w[2]), real(w[3]), w[4] == u"1"});
        } else if (kind == u"backlight") {
            if (!state.backlight)
                state.backlight.emplace();
            if (!w[0].isEmpty())
                state.backlight->append({w[0], w[1] == u"1", level(w[2]), level(w[3]), level(w[4])});
        } else if (kind == u"change") {
            *change = Change{w[0], w[1], w[2]};
        }
    }
    return state;
}

// The snapshot a fetch hands out, as the backend makes it.
Dispor::ConfigPtr fetched(const QMap<int, Data> &outputs)
{
    Dispor::OutputList list;
    Dispor::ConfigOrigin origin;
    for (const Data &d : outputs) {
        origin.fetched.insert(d.id, d);
        list.insert(d.id, Dispor::OutputPtr::create(d));
    }
    auto config = Dispor::ConfigPtr::create(list);
    originOf(*config) = origin;
    return config;
}

void checkOutputs(const State &state, const QMap<int, Data> &outputs)
{
    QSet<QString> connectors;
    for (const MonitorState &m : state.monitors)
        connectors.insert(m.connector);
    FUZZ_CHECK(outputs.size() == connectors.size());
    QSet<uint32_t> ranks;
    for (auto it = outputs.cbegin(); it != outputs.cend(); ++it) {
        const Data &d = *it;
        FUZZ_CHECK(d.id == it.key() && d.id >= 1 && d.id <= 32768 && connectors.contains(d.name));
        FUZZ_CHECK(d.currentModeId.isEmpty() || d.modes.contains(d.currentModeId));
        FUZZ_CHECK(!d.enabled ? d.priority == 0 && d.currentModeId.isEmpty() : d.priority >= 1);
        FUZZ_CHECK(!d.priority || !ranks.contains(d.priority));
        ranks.insert(d.priority);
        FUZZ_CHECK(!d.replicationSource || outputs.contains(d.replicationSource));
    }
}

// What ApplyMonitorsConfig must be sent: every monitor once, in a mode it
// has, at a scale mutter lists for that mode, and one primary at most.
void checkLogical(const State &state, const QList<LogicalSetting> &logical)
{
    QSet<QString> named;
    int primaries = 0;
    for (const LogicalSetting &l : logical) {
        FUZZ_CHECK(!l.monitors.isEmpty());
        primaries += l.primary;
        for (const MonitorSetting &m : l.monitors) {
            FUZZ_CHECK(!named.contains(m.connector));
            named.insert(m.connector);
            const MonitorState *monitor = nullptr;
            for (const MonitorState &candidate : state.monitors) {
                if (candidate.connector == m.connector)
                    monitor = &candidate;
            }
            FUZZ_CHECK(monitor);
            const ModeState *mode = monitor->mode(m.mode);
            FUZZ_CHECK(mode);
            if (m.connector == l.monitors.first().connector)
                FUZZ_CHECK(mode->scales.contains(l.scale));
        }
    }
    FUZZ_CHECK(primaries <= 1);
}

void applyChange(const Dispor::ConfigPtr &config, const Change &change)
{
    Dispor::OutputPtr output;
    for (const Dispor::OutputPtr &candidate : config->outputs()) {
        if (candidate->name() == change.connector)
            output = candidate;
    }
    if (!output)
        return;
    const QString &v = change.value;
    if (change.key == u"enabled")
        output->setEnabled(v == u"1");
    else if (change.key == u"x")
        output->setPos({v.toInt(), output->pos().y()});
    else if (change.key == u"y")
        output->setPos({output->pos().x(), v.toInt()});
    else if (change.key == u"scale")
        output->setScale(v.toDouble());
    else if (change.key == u"mode")
        output->setCurrentModeId(v);
    else if (change.key == u"rotation")
        output->setRotation(Dispor::Output::Rotation(v.toUInt()));
    else if (change.key == u"mirror")
        output->setReplicationSource(v.toInt());
    else if (change.key == u"brightness")
        output->setBrightness(v.toDouble());
    else if (change.key == u"dimming")
        output->setDimming(v.toDouble());
    else if (change.key == u"hdr")
        output->setHdrEnabled(v == u"1");
    else if (change.key == u"priority")
        config->setOutputPriority(output, v.toUInt());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::silenceStreams();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::optional<Change> change;
    const State state = readState(QString::fromUtf8(fuzz::bytes(data, size)), &change);
    const QMap<int, Data> outputs = describe(state, state.power);
    checkOutputs(state, outputs);

    // A snapshot left as it was fetched asks nothing of mutter.
    Dispor::ConfigPtr config = fetched(outputs);
    Plan plan;
    QString reason;
    FUZZ_CHECK(Dispor::Gnome::plan(*config, state, &plan, &reason) && !plan.changes());

    if (!change)
        return 0;
    applyChange(config, *change);
    if (!Dispor::Gnome::plan(*config, state, &plan, &reason)) {
        FUZZ_CHECK(!reason.isEmpty() && !reason.contains(u'\n'));
        return 0;
    }
    if (plan.layout)
        checkLogical(state, plan.logical);
    for (const BacklightSetting &b : std::as_const(plan.backlight))
        FUZZ_CHECK(std::any_of(outputs.begin(), outputs.end(),
                               [&](const Data &d) { return d.name == b.connector; }));
    return 0;
}
