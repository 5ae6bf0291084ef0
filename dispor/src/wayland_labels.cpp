#include "wayland_labels.h"

#include "backend.h"
#include "module_file.h"
#include "text.h"

#include "dispor/config.h"
#include "dispor/mode.h"
#include "dispor/output.h"
#include "dispor/version.h"

#include <cstring>

// The loader every plugin carries: the module sits beside the plugin, so
// each copy finds it from its own file.
namespace Dispor::WaylandLabels {

namespace {

const char anchor = 0; // an address inside the plugin (or program) this copy is linked into

const QString cannot = QStringLiteral("cannot show labels: ");

} // namespace

const Module *openModule(const QByteArray &file, QString *why)
{
    const void *symbol = moduleSymbol(file, "dispor_labels_module", cannot, why);
    if (!symbol)
        return nullptr;
    const auto *module = static_cast<const Module *>(symbol);
    if (!module->version || !module->show) {
        *why = cannot + shownPath(file) + ": its table lacks " + (module->version ? "show" : "the version");
        return nullptr;
    }
    if (std::strcmp(module->version, DISPOR_VERSION_STRING) != 0) {
        *why = cannot + quoted(QString::fromLocal8Bit(file)) + " belongs to Dispor " +
               quoted(QString::fromLatin1(module->version)) + ", not to " DISPOR_VERSION_STRING;
        return nullptr;
    }
    return module;
}

bool show(const QString &display, const QList<Label> &labels, int seconds, QString *why)
{
    const QByteArray file =
        besideOwnFile(&anchor, "labels.so", cannot, "the plugin's", "the labels module", why);
    const Module *module = file.isEmpty() ? nullptr : openModule(file, why);
    return module && module->show(display, labels, seconds, why);
}

QList<Label> labelsOf(const Config &config)
{
    QList<Label> labels;
    for (const OutputPtr &output : enabledByName(config)) {
        QStringList lines = {output->name()};
        if (const ModePtr mode = output->currentMode()) {
            const QSize size = mode->size();
            QString line = QString::number(size.width()) + "x" + QString::number(size.height());
            if (mode->refreshRate() > 0)
                line += " @ " + QString::number(mode->refreshRate(), 'f', 2) + " Hz";
            lines.append(line);
        }
        lines.append(u"at "_qs + QString::number(output->pos().x()) + "," +
                     QString::number(output->pos().y()));
        labels.append({output->name(), lines});
    }
    return labels;
}

bool show(const Config &config, int seconds, QString *why)
{
    const QList<Label> labels = labelsOf(config);
    if (labels.isEmpty()) {
        *why = cannot + "no output is enabled";
        return false;
    }
    return show(QString(), labels, seconds, why);
}

} // namespace Dispor::WaylandLabels
