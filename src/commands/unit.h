#pragma once

#include "core/command.h"
#include "output/frame.h"

// What every per-output unit is made of: its option variables, an action
// on the resolved output (named after the command) and its records, whose
// handler is runOn<action>. The action reads or changes the output and,
// for a change, returns applyConfig's status.

// A per-output handler that runs Action in the frame.
template <OutputAction Action> int runOn(const QString &spec)
{
    return withOutput(spec, Action);
}
