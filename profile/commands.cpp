#include "commands.h"

#include "apply.h"
#include "capture.h"
#include "match.h"
#include "store.h"

#include "core/print.h"

namespace profile {

int runSave(const Invocation &invocation)
{
    const Dispor::ConfigPtr config = fetchConfig();
    if (!config)
        return 1;
    const Profile profile = capture(*config);
    if (profile.outputs.isEmpty()) {
        printLineTo(stderr, "Cannot save profile {}: no output is connected", invocation.name);
        return 1;
    }
    for (const Dispor::OutputPtr &output : config->connectedOutputs()) {
        if (output->isEnabled() && !output->currentMode()) {
            printLineTo(stderr, "Cannot save profile {}: {} has no current mode", invocation.name,
                        output->name());
            return 1;
        }
    }
    QString error;
    if (!store(invocation.name, profile, invocation.force, &error)) {
        printLineTo(stderr, "{}", error);
        return 1;
    }
    return 0;
}

int runApply(const Invocation &invocation)
{
    if (!invocation.automatic) {
        QString error;
        const std::optional<Profile> profile = load(invocation.name, &error);
        if (!profile) {
            printLineTo(stderr, "{}", error);
            return 1;
        }
        return applyProfile(invocation.name, *profile, invocation.dryRun);
    }
    const std::optional<QList<Candidate>> candidates = loadAll();
    const Dispor::ConfigPtr config = candidates ? fetchConfig() : Dispor::ConfigPtr();
    if (!config)
        return 1;
    const Choice choice = choose(*candidates, config->connectedOutputs());
    if (!choice.tie.isEmpty()) {
        printLineTo(stderr, "Profiles {} and {} match the connected outputs equally well", choice.tie[0],
                    choice.tie[1]);
        return 1;
    }
    if (choice.index < 0) {
        printLineTo(stderr, "No profile matches the connected outputs");
        return 1;
    }
    const Candidate &chosen = (*candidates)[choice.index];
    if (invocation.dryRun)
        printLineTo(stdout, "Profile {}", chosen.name);
    const int status = applyProfile(chosen.name, chosen.profile, invocation.dryRun);
    if (status == 0 && !invocation.dryRun)
        printLineTo(stdout, "Applied profile {}", chosen.name);
    return status;
}

int runList(const Invocation &)
{
    QString error;
    const std::optional<QStringList> names = profile::names(&error);
    if (!names) {
        printLineTo(stderr, "{}", error);
        return 1;
    }
    const Dispor::ConfigPtr config = fetchConfig();
    if (!config)
        return 1;
    const Dispor::OutputList connected = config->connectedOutputs();
    int status = 0;
    for (const QString &name : *names) {
        const std::optional<Profile> profile = load(name, &error);
        if (!profile) {
            printLineTo(stderr, "{}", error);
            status = 1;
            continue;
        }
        printLineTo(stdout, "{}{}", name, assign(*profile, connected) ? " (matches)" : "");
    }
    return status;
}

int runShow(const Invocation &invocation)
{
    QString error;
    const std::optional<Profile> profile = load(invocation.name, &error);
    if (!profile) {
        printLineTo(stderr, "{}", error);
        return 1;
    }
    // Written anew from what was read: JSON escapes every control character.
    const QByteArray text = writeProfile(*profile);
    writeTo(stdout, std::string_view(text.constData(), static_cast<size_t>(text.size())));
    return 0;
}

int runRemove(const Invocation &invocation)
{
    QString error;
    if (!remove(invocation.name, &error)) {
        printLineTo(stderr, "{}", error);
        return 1;
    }
    return 0;
}

} // namespace profile
