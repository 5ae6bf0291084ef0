#include "commands/layout.h"
#include "commands/values.h"

#include "core/print.h"

namespace {

QStringList values;

int setReplicaOf(OutputPtr output, ConfigPtr config)
{
    const QString &word = values[0];
    int sourceId = 0; // mirrors nothing
    if (word != u"none") {
        const OutputPtr source = resolveOutput(config, word);
        if (!source) {
            printLineTo(stderr, "Unknown replication source: {}", word);
            return 1;
        }
        if (source->id() == output->id()) {
            printLineTo(stderr, "{} cannot mirror itself", word);
            return 1;
        }
        sourceId = source->id();
    }
    return applyReplicationSource(output, config, sourceId);
}

} // namespace

COMMAND_RECORD const Command setReplicaOfCommand[] = {
    {"OUTPUT", "set-replica-of", "Mirror or unmirror another output (possible values: none or an OUTPUT)",
     nullptr, "Misc", nullptr, runOn<setReplicaOf>, "replicationSource"},
};

COMMAND_OPTION_RECORD const CommandOption setReplicaOfOptions[] = {
    {"OUTPUT", "set-replica-of", nullptr, "OUTPUT", nullptr, &values, OptionKind::Positional},
};
