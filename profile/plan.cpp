#include "plan.h"

#include <dispor/words.h>

#include <algorithm>
#include <cmath>

namespace profile {

namespace {

using Dispor::Output;
namespace words = Dispor::words;

// Rates as servers report them differ in the last digits (59.951 against
// 59.9509): closer than this is the same rate.
constexpr double rateTolerance = 0.01;

Dispor::ModePtr findMode(const Output &output, const Mode &wanted)
{
    Dispor::ModePtr best;
    double bestDistance = rateTolerance;
    for (const Dispor::ModePtr &mode : output.modes()) {
        const double distance = std::abs(mode->refreshRate() - wanted.refresh);
        if (mode->size() == QSize(wanted.width, wanted.height) && distance < bestDistance) {
            best = mode;
            bestDistance = distance;
        }
    }
    return best;
}

QString modeText(const Dispor::ModePtr &mode)
{
    if (!mode)
        return QStringLiteral("none");
    return QStringLiteral("%1x%2@%3")
        .arg(mode->size().width())
        .arg(mode->size().height())
        .arg(mode->refreshRate(), 0, 'f', 2);
}

QString boolText(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

QString pointText(QPoint point)
{
    return QStringLiteral("%1,%2").arg(point.x()).arg(point.y());
}

QString outputName(const Dispor::Config &config, int id)
{
    const Dispor::OutputPtr output = config.output(id);
    return output ? output->name() : QStringLiteral("none");
}

// Refuses before anything is set what the output cannot take.
bool check(const OutputSettings &settings, const Output &output, QString *error)
{
    const auto refuse = [&](const QString &why) {
        *error = output.name() + QLatin1StringView(": ") + why;
        return false;
    };
    if (!settings.enabled)
        return true;
    if (!findMode(output, settings.mode))
        return refuse(QStringLiteral("has no mode %1x%2@%3")
                          .arg(settings.mode.width)
                          .arg(settings.mode.height)
                          .arg(settings.mode.refresh, 0, 'f', 2));
    if (settings.vrr && !(output.capabilities() & Output::Capability::Vrr))
        return refuse(QStringLiteral("cannot take a VRR policy"));
    if (settings.hdr && !(output.capabilities() & Output::Capability::HighDynamicRange))
        return refuse(QStringLiteral("cannot take HDR"));
    return true;
}

void set(const OutputSettings &settings, int mirrorId, Output &output, const Dispor::Config &config)
{
    output.setEnabled(settings.enabled);
    if (!settings.enabled)
        return;
    const Dispor::ModePtr mode = findMode(output, settings.mode);
    if (output.currentModeId() != mode->id())
        output.setCurrentModeId(mode->id());
    if (output.size() != mode->size())
        output.setSize(mode->size());
    if (output.pos() != settings.position)
        output.setPos(settings.position);
    if (output.scale() != settings.scale)
        output.setScale(settings.scale);
    if (output.rotation() != settings.rotation)
        output.setRotation(settings.rotation);
    if (output.replicationSource() != mirrorId)
        output.setReplicationSource(mirrorId);
    if (settings.vrr && output.vrrPolicy() != *settings.vrr)
        output.setVrrPolicy(*settings.vrr);
    if (settings.hdr && output.isHdrEnabled() != *settings.hdr)
        output.setHdrEnabled(*settings.hdr);
    // The logical size follows the new mode, scale and rotation, as the
    // tool's own scale and mode commands leave it.
    const QSize logical = config.logicalSizeForOutputInt(output);
    if (output.explicitLogicalSizeInt() != logical)
        output.setExplicitLogicalSize(QSizeF(logical));
}

void listChanges(const Output &before, const Output &after, const Dispor::Config &config,
                 QStringList *changes)
{
    const QString name = after.name();
    const auto change = [&](const char *setting, const QString &from, const QString &to) {
        if (from != to)
            changes->append(
                QStringLiteral("%1: %2 %3 -> %4").arg(name, QLatin1StringView(setting), from, to));
    };
    change("enabled", boolText(before.isEnabled()), boolText(after.isEnabled()));
    if (!after.isEnabled())
        return;
    change("mode", modeText(before.currentMode()), modeText(after.currentMode()));
    change("position", pointText(before.pos()), pointText(after.pos()));
    change("scale", QString::number(before.scale()), QString::number(after.scale()));
    change("rotation", QLatin1StringView(words::wordOf(words::rotation, before.rotation())),
           QLatin1StringView(words::wordOf(words::rotation, after.rotation())));
    change("priority", QString::number(before.priority()), QString::number(after.priority()));
    change("mirror", outputName(config, before.replicationSource()),
           outputName(config, after.replicationSource()));
    change("vrr", QLatin1StringView(words::wordOf(words::vrrPolicy, before.vrrPolicy())),
           QLatin1StringView(words::wordOf(words::vrrPolicy, after.vrrPolicy())));
    change("hdr", boolText(before.isHdrEnabled()), boolText(after.isHdrEnabled()));
}

} // namespace

bool plan(const Profile &profile, const Assignment &assignment, Dispor::Config &config, QStringList *changes,
          QString *error)
{
    QList<Dispor::OutputPtr> outputs;
    QList<Output> before;
    for (qsizetype i = 0; i < profile.outputs.size(); ++i) {
        const Dispor::OutputPtr output = config.output(assignment.outputIds.value(i));
        if (!output || !check(profile.outputs[i], *output, error))
            return false;
        outputs.append(output);
        before.append(*output);
    }
    for (qsizetype i = 0; i < profile.outputs.size(); ++i) {
        const OutputSettings &settings = profile.outputs[i];
        int mirrorId = 0;
        for (qsizetype j = 0; settings.mirror && j < profile.outputs.size(); ++j) {
            if (profile.outputs[j].identity == *settings.mirror)
                mirrorId = outputs[j]->id();
        }
        set(settings, mirrorId, *outputs[i], config);
    }
    // Ranks from the top down: each move keeps the order of those above.
    QList<qsizetype> ranked;
    for (qsizetype i = 0; i < profile.outputs.size(); ++i) {
        if (profile.outputs[i].enabled && profile.outputs[i].priority > 0)
            ranked.append(i);
    }
    std::sort(ranked.begin(), ranked.end(), [&](qsizetype a, qsizetype b) {
        return profile.outputs[a].priority < profile.outputs[b].priority;
    });
    for (const qsizetype i : ranked) {
        if (outputs[i]->priority() != profile.outputs[i].priority)
            config.setOutputPriority(outputs[i], profile.outputs[i].priority);
    }
    for (qsizetype i = 0; i < outputs.size(); ++i)
        listChanges(before[i], *outputs[i], config, changes);
    return true;
}

} // namespace profile
