#include "wayland_labels.h"

#include "backend.h"
#include "text.h"

#include "dispor/config.h"
#include "dispor/mode.h"
#include "dispor/output.h"
#include "dispor/version.h"

#include <cerrno>
#include <cstring>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// The loader every plugin carries: the module sits beside the plugin, so
// each copy finds it from its own file.
namespace Dispor::WaylandLabels {

namespace {

const char anchor = 0; // an address inside the plugin (or program) this copy is linked into

const QString cannot = QStringLiteral("cannot show labels: ");

// dlopen trusts what it is given: a FIFO would hold it up without end.
bool regularFile(const QByteArray &file, QString *why)
{
    const int fd = ::open(file.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        *why = cannot + shownPath(file) + ": " + QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    struct stat status;
    const bool regular = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
    ::close(fd);
    if (!regular)
        *why = cannot + shownPath(file) + ": not a regular file";
    return regular;
}

} // namespace

const Module *openModule(const QByteArray &file, QString *why)
{
    if (!regularFile(file, why))
        return nullptr;
    // Never closed: a library it loads (fontconfig, FreeType) may keep
    // handlers or threads of its own.
    void *handle = ::dlopen(file.constData(), RTLD_LAZY | RTLD_LOCAL);
    const void *symbol = handle ? ::dlsym(handle, "dispor_labels_module") : nullptr;
    if (!symbol) {
        // dlerror() names the file.
        *why = cannot + escaped(QString::fromLocal8Bit(::dlerror()));
        return nullptr;
    }
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
    Dl_info own{};
    if (!::dladdr(&anchor, &own) || !own.dli_fname || own.dli_fname[0] != '/') {
        *why = cannot + "the plugin's own file cannot be found, nor the labels module beside it";
        return false;
    }
    const QByteArray self(own.dli_fname);
    const Module *module = openModule(self.left(self.lastIndexOf('/') + 1) + "labels.so", why);
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
