#include "output/frame.h"

#include "commands/parsers.h"
#include "core/print.h"
#include "output/compositor.h"

#include <dispor/operations.h>

#include <iostream>

ConfigPtr fetchConfig()
{
    // A failed fetch has printed its reason already; a null snapshot says so.
    Dispor::GetConfigOperation operation;
    operation.exec();
    return operation.config();
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
        if (!reply.ok) {
            printLineTo(std::cerr, "Failed to determine active output: {}", reply.error);
            return {};
        }
        target = reply.value;
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
        printLineTo(std::cerr, "Unknown output: {}", spec);
        return {};
    }
    if (config)
        *config = std::move(fetched);
    return output;
}

int withOutput(const QString &spec, OutputAction action)
{
    ConfigPtr config;
    OutputPtr output = fetchOutput(spec, &config);
    if (!output)
        return 1;
    return action(std::move(output), std::move(config));
}

int applyConfig(const ConfigPtr &config)
{
    Dispor::SetConfigOperation operation(config);
    if (operation.exec())
        return 0;
    printLineTo(std::cerr, "Failed to apply output configuration: {}", operation.errorString());
    return 1;
}
