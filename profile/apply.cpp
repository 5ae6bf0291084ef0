#include "apply.h"

#include "plan.h"
#include "store.h"

#include "core/print.h"

#include <dispor/operations.h>

namespace profile {

namespace {

// As dispctl: concurrent writers are served in turn, so a few tries do.
constexpr int attempts = 5;

} // namespace

Dispor::ConfigPtr fetchConfig()
{
    Dispor::GetConfigOperation operation;
    return operation.exec() ? operation.config() : Dispor::ConfigPtr();
}

int applyProfile(const QString &name, const Profile &profile, bool dryRun)
{
    for (int attempt = 1; attempt <= attempts; ++attempt) {
        const Dispor::ConfigPtr config = fetchConfig();
        if (!config)
            return 1;
        const Dispor::OutputList connected = config->connectedOutputs();
        const std::optional<Assignment> assignment = assign(profile, connected);
        if (!assignment) {
            printLineTo(stderr, "Profile {}: {}", name, mismatch(profile, connected));
            return 1;
        }
        QStringList changes;
        QString error;
        if (!plan(profile, *assignment, *config, &changes, &error)) {
            printLineTo(stderr, "Profile {}: {}", name, error);
            return 1;
        }
        if (dryRun) {
            for (const QString &change : std::as_const(changes))
                printLineTo(stdout, "{}", change);
            return 0;
        }
        Dispor::SetConfigOperation operation(config);
        if (operation.exec())
            return 0;
        if (operation.isConflict())
            continue;
        for (const QString &line : operation.errorString().split(u'\n'))
            printLineTo(stderr, "Profile {}: {}", name, line);
        return 1;
    }
    printLineTo(stderr, "Profile {}: the outputs kept changing while it was applied ({} tries)", name,
                attempts);
    return 1;
}

std::optional<QList<Candidate>> loadAll()
{
    QString error;
    const std::optional<QStringList> names = profile::names(&error);
    if (!names) {
        printLineTo(stderr, "{}", error);
        return std::nullopt;
    }
    QList<Candidate> candidates;
    for (const QString &name : *names) {
        std::optional<Profile> loaded = load(name, &error);
        if (!loaded) {
            printLineTo(stderr, "{}", error);
            return std::nullopt;
        }
        candidates.append({name, std::move(*loaded)});
    }
    return candidates;
}

} // namespace profile
