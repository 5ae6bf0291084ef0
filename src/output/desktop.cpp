#include "output/desktop.h"

#include "output/compositor.h"
#include "output/sway.h"
#include "output/x11_desktop.h"

namespace {

// As long as the library waits for a display server to answer.
constexpr int answerSeconds = 3;
constexpr int labelSeconds = 5;

const X11DesktopCalls *x11Calls(QString *why)
{
    QString failure;
    const void *symbol = moduleSymbol("x11.so", "dispctl_x11_calls", &failure);
    if (!symbol)
        *why = u"cannot load the X11 module: "_qs + failure;
    return static_cast<const X11DesktopCalls *>(symbol);
}

bool isSet(const char *variable)
{
    return !qEnvironmentVariableIsEmpty(variable);
}

} // namespace

Desktop currentDesktop()
{
    const QString backend = qEnvironmentVariable("DISPOR_BACKEND");
    if (backend == u"virtual")
        return Desktop::Simulated;
    if (backend == u"x11")
        return Desktop::X11;
    const bool sway = isSet("SWAYSOCK");
    if (backend == u"wayland")
        return sway ? Desktop::Sway : Desktop::Other;
    if (!backend.isEmpty())
        return Desktop::Other;
    if (isSet("WAYLAND_DISPLAY"))
        return sway ? Desktop::Sway : Desktop::Other;
    return isSet("DISPLAY") ? Desktop::X11 : Desktop::Other;
}

QString activeOutputWithoutBus(const Dispor::ConfigPtr &config, QString *why)
{
    switch (currentDesktop()) {
    case Desktop::Simulated:
        return {};
    case Desktop::X11: {
        const X11DesktopCalls *calls = x11Calls(why);
        QString name;
        if (calls && calls->outputUnderPointer(&name, why))
            return name;
        return {};
    }
    case Desktop::Sway: {
        const SwayFocus focus = swayFocusedOutput(qgetenv("SWAYSOCK"), answerSeconds);
        *why = focus.why;
        return focus.name;
    }
    case Desktop::Other:
        break;
    }
    QString only;
    int enabled = 0;
    for (const Dispor::OutputPtr &output : config->connectedOutputs()) {
        if (output->isEnabled()) {
            only = output->name();
            ++enabled;
        }
    }
    if (enabled == 1)
        return only;
    *why = u"on this desktop the active output is known only when exactly one output is enabled, and "_qs +
           (enabled ? QString::number(enabled) + " are" : u"none is"_qs);
    return {};
}

int identifyWithoutBus(QString *why)
{
    if (currentDesktop() != Desktop::X11) {
        *why = u"dispctl shows the outputs' names itself only on X11"_qs;
        return 1;
    }
    const X11DesktopCalls *calls = x11Calls(why);
    return calls && calls->showLabels(labelSeconds, why) ? 0 : 1;
}
