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

    // Fetched on a thread of the library's own: the event loop goes on
    // meanwhile, as a GUI program's must (exec() is the blocking form).
    // The library prints nothing itself; a failure comes as a value.
    auto *operation = new Dispor::GetConfigOperation(Dispor::ConfigOperation::NoOptions, &app);
    QObject::connect(operation, &Dispor::ConfigOperation::finished, &app, [](Dispor::ConfigOperation *done) {
        if (done->hasError()) {
            std::fprintf(stderr, "list-outputs: %s\n", qUtf8Printable(done->errorString()));
            QCoreApplication::exit(1);
            return;
        }
        for (const Dispor::OutputPtr &output : done->config()->connectedOutputs()) {
            const QSize size = output->size();
            std::printf("%s %dx%d %g %s\n", output->name().toUtf8().constData(), size.width(), size.height(),
                        output->scale(), output->isEnabled() ? "enabled" : "disabled");
        }
        QCoreApplication::exit(0);
    });
    operation->start();
    return app.exec();
}
