#pragma once

#include <QString>

#include <optional>

// The two calls the tool makes to the compositor on the session bus.

struct BusReply {
    bool ok = false;
    QString value; // the string reply, when ok
    QString error; // the bus error's message text, when not ok
};

// "activeOutputName" of org.lumo.Vantor at /Vantor.
BusReply activeOutputName();

// "show" of org.lumo.Vantor.Effect.OutputLocator1.
BusReply showOutputLocator();

// The calls as the session-bus module exports them, by the name
// dispctl_compositor_calls.
struct CompositorCalls {
    BusReply (*activeOutputName)();
    BusReply (*showOutputLocator)();
};
