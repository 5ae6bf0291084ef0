#include "core/command.h"
#include "output/power.h"

namespace {

int off()
{
    return switchDisplayPower(Dispor::Dpms::Off);
}

} // namespace

COMMAND_RECORD const Command offCommand[] = {
    {nullptr, "off", "Turn all outputs off", nullptr, nullptr, off, nullptr, "dpms"},
};

COMMAND_EXAMPLE_RECORD const CommandExample offExamples[] = {
    {nullptr, "off", "Turn all outputs off", ""},
};
