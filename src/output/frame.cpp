#include "output/frame.h"

OutputPtr fetchOutput(const QString &, ConfigPtr *)
{
    return {};
}
