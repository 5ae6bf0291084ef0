#include "core/command.h"
#include "output/power.h"

namespace {

int on()
{
    return switchDisplayPower(Dispor::Dpms::On);
}

} // namespace

COMMAND_RECORD const Command onCommand[] = {
    {nullptr, "on", "Turn all outputs on", nullptr, nullptr, on, nullptr, "dpms"},
};

COMMAND_EXAMPLE_RECORD const CommandExample onExamples[] = {
    {nullptr, "on", "Turn all outputs on", ""},
};
