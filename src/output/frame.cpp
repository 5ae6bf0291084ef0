#include "output/frame.h"

#include "commands/parsers.h"
#include "core/print.h"
#include "output/compositor.h"

#include <dispor/desktop.h>
#include <dispor/operations.h>

#include <QRandomGenerator>

#include <algorithm>
#include <chrono>
#include <thread>

ConfigPtr fetchConfig()
{
    // A failed fetch has printed its reason already; a null snapshot says so.
    Dispor::GetConfigOperation operation;
    operation.exec();
    ConfigPtr config = operation.config();
    // The run ends soon after: the latest snapshot is left for the system to
    // reclaim at exit, not freed mode by mode (on a set with thousands of
    // modes that was a tenth of a listing).
    static auto *const kept = new ConfigPtr;
    if (config)
        *kept = config;
    return config;
}

OutputPtr resolveOutput(const ConfigPtr &config, const QString &word)
{
    if (!config)
        return {};
    if (word == QLatin1StringView("primary-output"))
        return config->primaryOutput();

    QString target = word;
    if (word == QLatin1StringView("active-output")) {
        const BusReply reply = activeOutputName();
        const Dispor::Desktop desktop(config);
        if (reply.ok) {
            target = reply.value;
        } else if (reply.absent && !desktop.isSimulated()) {
            // Without the service, the desktop that serves the snapshot
            // answers in its own way.
            QString why;
            target = desktop.activeOutput(&why);
            if (target.isEmpty()) {
                printLineTo(stderr, "Failed to determine active output: {}; {}", reply.error, why);
                return {};
            }
        } else {
            printLineTo(stderr, "Failed to determine active output: {}", reply.error);
            return {};
        }
    }
    // Outputs without a uuid have an empty one; an empty word must not pick
    // the first of them.
    if (target.isEmpty())
        return {};

    const Dispor::OutputList outputs = config->outputs();
    for (const OutputPtr &output : outputs) {
        if (output->name() == target || output->uuid() == target)
            return output;
    }
    if (const std::optional<int> id = parseInteger(target)) {
        for (const OutputPtr &output : outputs) {
            if (output->id() == *id)
                return output;
        }
    }
    return {};
}

OutputPtr fetchOutput(const QString &spec, ConfigPtr *config)
{
    ConfigPtr fetched = fetchConfig();
    if (!fetched)
        return {};
    OutputPtr output = resolveOutput(fetched, spec);
    if (!output) {
        printLineTo(stderr, "Unknown output: {}", spec);
        return {};
    }
    if (config)
        *config = std::move(fetched);
    return output;
}

namespace {

// Enough for dozens of concurrent runs to take turns; each pause grows and
// is drawn at random, so that runs that met once do not meet again.
constexpr int attempts = 50;

void pauseBeforeAttempt(int attempt)
{
    const int bound = std::min(5 * attempt, 50);
    std::this_thread::sleep_for(std::chrono::milliseconds(1 + QRandomGenerator::global()->bounded(bound)));
}

} // namespace

int withOutput(const QString &spec, OutputAction action)
{
    for (int attempt = 1; attempt <= attempts; ++attempt) {
        if (attempt > 1)
            pauseBeforeAttempt(attempt);
        ConfigPtr config;
        OutputPtr output = fetchOutput(spec, &config);
        if (!output)
            return 1;
        const int status = action(std::move(output), std::move(config));
        if (status != conflictStatus)
            return status;
    }
    printLineTo(stderr,
                "Failed to apply output configuration: the outputs kept changing while the change was made "
                "({} tries)",
                attempts);
    return 1;
}

int applyConfig(const ConfigPtr &config)
{
    Dispor::SetConfigOperation operation(config);
    if (operation.exec())
        return 0;
    if (operation.isConflict())
        return conflictStatus;
    // One line per output when the server took the change but holds
    // something else.
    for (const QString &line : operation.errorString().split(u'\n'))
        printLineTo(stderr, "Failed to apply output configuration: {}", line);
    return 1;
}
