// Lists the connected outputs, one a line: name, pixel size, scale and
// whether it is enabled. The backend is chosen as dispctl chooses it
// (DISPOR_BACKEND, else the session's display server).
#include <dispor/dispor.h>
#include <dispor/version.h>

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc > 1 && QByteArray(argv[1]) == "--version") {
        std::printf("Dispor %s\n", DISPOR_VERSION_STRING);
        return 0;
    }

    // Blocks until the snapshot is fetched or the fetch failed; a failure
    // has already been reported on standard error.
    Dispor::GetConfigOperation operation;
    if (!operation.exec())
        return 1;
    const Dispor::ConfigPtr config = operation.config();
    for (const Dispor::OutputPtr &output : config->connectedOutputs()) {
        const QSize size = output->size();
        std::printf("%s %dx%d %g %s\n", output->name().toUtf8().constData(), size.width(), size.height(),
                    output->scale(), output->isEnabled() ? "enabled" : "disabled");
    }
    return 0;
}
