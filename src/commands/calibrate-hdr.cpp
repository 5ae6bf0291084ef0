#include "commands/values.h"

#include "core/print.h"

#include <QProcess>

namespace {

int calibrateHdr(OutputPtr output, ConfigPtr)
{
    if (!output->isHdrEnabled()) {
        printLineTo(stderr, "HDR is not active on output {}", output->name());
        return 1;
    }
    // Found on the search path; the calibrator outlives us.
    return QProcess::startDetached(QStringLiteral("lustrometer"), {output->name()}) ? 0 : 1;
}

} // namespace

COMMAND_RECORD const Command calibrateHdrCommand[] = {
    {"OUTPUT", "calibrate-hdr", "Calibrate HDR", nullptr, "Color Management", nullptr, runOn<calibrateHdr>,
     "hdrEnabled"},
};
