#include "output/power.h"

#include "core/print.h"

#include <QCoreApplication>
#include <QTimer>

int switchDisplayPower(Dispor::Dpms::Mode mode)
{
    // Lives as long as the application, which deletes it.
    auto *dpms = new Dispor::Dpms(QCoreApplication::instance());
    // Connected before the request, so that no report is missed. The quit is
    // left to the event loop: a report that comes before the loop runs still
    // ends it.
    QObject::connect(dpms, &Dispor::Dpms::hasPendingChangesChanged, QCoreApplication::instance(),
                     [](bool pending) {
                         if (!pending)
                             QTimer::singleShot(0, Qt::PreciseTimer, &QCoreApplication::quit);
                     });
    dpms->switchMode(mode);
    const int status = QCoreApplication::exec();
    // A switch that failed is not a success, whatever the loop says.
    if (dpms->hasError()) {
        printLineTo(stderr, "Failed to switch display power: {}", dpms->errorString());
        return 1;
    }
    return status;
}
