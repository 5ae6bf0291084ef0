#include <dispor/dispor.h>

#include <QCoreApplication>

#include <cstdio>

// Prints the connected outputs' names, one a line.
int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    Dispor::GetConfigOperation operation;
    operation.exec();
    const Dispor::ConfigPtr config = operation.config();
    if (!config)
        return 1;
    for (const Dispor::OutputPtr &output : config->connectedOutputs())
        std::printf("%s\n", output->name().toUtf8().constData());
    return 0;
}
