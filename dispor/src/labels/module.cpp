// The labels module's entry: dispor_labels_module, which the loader every
// plugin carries (wayland_labels.cpp) opens beside the plugin.

#include "../text.h"
#include "../wayland/library_log.h"
#include "../wayland_labels.h"
#include "connection.h"
#include "surface.h"

#include "dispor/version.h"

#include <algorithm>

namespace Dispor::Labels {

namespace {

using WaylandLabels::Label;

bool fail(const QString &reason, QString *why)
{
    *why = u"cannot show labels: "_qs + reason;
    return false;
}

const Screen *screenNamed(const Connection &connection, const QString &name)
{
    for (const std::unique_ptr<Screen> &s : connection.screens()) {
        if (s->globalName && s->name() == name)
            return s.get();
    }
    return nullptr;
}

bool show(const QString &display, const QList<Label> &labels, int seconds, QString *why)
{
    const Wayland::LibraryLog log;
    QString reason;
    const std::unique_ptr<Connection> connection = Connection::open(display, &reason);
    if (!connection)
        return fail(reason, why);
    if (!connection->layerShell() && !connection->wmBase())
        return fail(u"the compositor offers neither layer-shell nor xdg-shell"_qs, why);
    if (!connection->compositor() || !connection->shm())
        return fail(connection->compositor() ? u"the compositor offers no shared memory (wl_shm)"_qs
                                             : u"the compositor offers no surfaces (wl_compositor)"_qs,
                    why);
    std::vector<const Screen *> screens;
    for (const Label &label : labels) {
        const Screen *screen = screenNamed(*connection, label.output);
        if (!screen)
            return fail(u"the compositor has no output named "_qs + quoted(label.output), why);
        screens.push_back(screen);
    }
    // The font only now: nothing is read from disk for a refusal above.
    const std::unique_ptr<Typeface> typeface = Typeface::open(&reason);
    if (!typeface)
        return fail(reason, why);

    std::vector<std::unique_ptr<Surface>> surfaces;
    for (size_t i = 0; i < screens.size(); ++i) {
        const std::optional<Look> look =
            measure(*typeface, labels[qsizetype(i)].lines, screens[i]->size(), &reason);
        if (!look)
            return fail(reason, why);
        surfaces.push_back(std::make_unique<Surface>(*connection, *screens[i], *typeface,
                                                     labels[qsizetype(i)].lines, *look));
    }
    const auto settled = [&surfaces] {
        return std::all_of(surfaces.begin(), surfaces.end(), [](const std::unique_ptr<Surface> &s) {
            return s->drawn() || s->closed() || !s->failure().isEmpty();
        });
    };
    const QString shown =
        u"show the labels within "_qs + QString::number(Connection::answerTime.count()) + " s";
    if (!connection->dispatchUntil(settled, Clock::now() + Connection::answerTime, shown, &reason))
        return fail(reason, why);
    for (const std::unique_ptr<Surface> &s : surfaces) {
        if (!s->failure().isEmpty())
            return fail(s->failure(), why);
    }
    // Shown: kept, and drawn anew at each size the compositor gives, until
    // the time is up or the compositor closed every one.
    const Clock::time_point until = Clock::now() + std::chrono::seconds(seconds);
    const auto allClosed = [&surfaces] {
        return std::all_of(surfaces.begin(), surfaces.end(),
                           [](const std::unique_ptr<Surface> &s) { return s->closed(); });
    };
    if (!connection->dispatchUntil(allClosed, until, {}, &reason) && Clock::now() < until)
        return fail(reason, why);
    for (const std::unique_ptr<Surface> &s : surfaces) {
        if (!s->failure().isEmpty())
            return fail(s->failure(), why);
    }
    // Gone when this returns: the compositor has handled their removal.
    surfaces.clear();
    if (!connection->roundtrip(&reason))
        return fail(reason, why);
    return true;
}

} // namespace

} // namespace Dispor::Labels

extern "C" __attribute__((visibility("default")))
const Dispor::WaylandLabels::Module dispor_labels_module{DISPOR_VERSION_STRING, Dispor::Labels::show};
