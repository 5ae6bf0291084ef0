#include "core/command.h"
#include "core/print.h"
#include "output/frame.h"
#include "report/json.h"
#include "report/json_writer.h"
#include "report/text.h"

#include <string>
#include <string_view>

namespace {

bool enabledOnly = false;
bool disabledOnly = false;
bool namesOnly = false;
bool asJson = false;

int listOutputs()
{
    const ConfigPtr config = fetchConfig();
    if (!config)
        return 1;

    QList<OutputPtr> outputs;
    const Dispor::OutputList connected = config->connectedOutputs();
    for (const OutputPtr &output : connected) {
        // With both flags, the enabled one wins.
        if (enabledOnly ? !output->isEnabled() : disabledOnly && output->isEnabled())
            continue;
        outputs.append(output);
    }

    if (asJson) {
        JsonWriter json;
        json.beginArray();
        for (const OutputPtr &output : std::as_const(outputs)) {
            if (namesOnly)
                json.value(output->name());
            else
                writeOutputJson(json, *output);
            // A long list goes out in pieces of 64 KiB or more, so that its
            // text is never held whole, nor copied as the buffer grows.
            if (json.text().size() >= (size_t{1} << 16)) {
                writeTo(stdout, json.text());
                json.discardText();
            }
        }
        json.endArray();
        json.newline();
        writeTo(stdout, json.text());
    } else if (namesOnly) {
        std::string lines, storage;
        for (const OutputPtr &output : std::as_const(outputs)) {
            // A name is outside text: no control character reaches the terminal.
            const QByteArray name = output->name().toUtf8();
            lines += escapedUtf8(std::string_view(name.constData(), size_t(name.size())), storage);
            lines += '\n';
        }
        printTo(stdout, "{}", lines);
    } else {
        // All blocks in one write: a long list is one system call, not one
        // per line.
        std::string blocks;
        for (const OutputPtr &output : std::as_const(outputs))
            blocks += outputText(*output);
        printTo(stdout, "{}", blocks);
    }
    return 0;
}

} // namespace

COMMAND_RECORD const Command listOutputsCommand[] = {
    {nullptr, "list-outputs", "List all connected outputs", nullptr, nullptr, listOutputs, nullptr},
};

COMMAND_OPTION_RECORD const CommandOption listOutputsOptions[] = {
    {nullptr, "list-outputs", "enabled", nullptr, "Only list enabled outputs", &enabledOnly,
     OptionKind::Option},
    {nullptr, "list-outputs", "disabled", nullptr, "Only list disabled outputs", &disabledOnly,
     OptionKind::Option},
    {nullptr, "list-outputs", "names", nullptr, "Only display output names", &namesOnly, OptionKind::Option},
    {nullptr, "list-outputs", "json", nullptr, "Display output information as JSON", &asJson,
     OptionKind::Option},
};

COMMAND_EXAMPLE_RECORD const CommandExample listOutputsExamples[] = {
    {nullptr, "list-outputs", "List all available outputs", ""},
    {nullptr, "list-outputs", "List all enabled outputs", "--enabled"},
};
