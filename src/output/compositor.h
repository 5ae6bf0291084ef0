#pragma once

#include <QString>

#include <optional>

// The two calls the tool makes to the compositor on the session bus.

struct BusReply {
    bool ok = false;
    QString value; // the string reply, when ok
    QString error; // the bus error's message text, when not ok
    // Not ok because the service is not there at all: its name has no
    // owner, or there is no session bus to ask.
    bool absent = false;
};

// "activeOutputName" of org.lumo.Vantor at /Vantor.
BusReply activeOutputName();

// "show" of org.lumo.Vantor.Effect.OutputLocator1.
BusReply showOutputLocator();

// A symbol of one of the tool's modules (the file in its module directory),
// opened once and kept; null with *error set.
const void *moduleSymbol(const char *file, const char *symbol, QString *error);

// The calls as the session-bus module exports them, by the name
// dispctl_compositor_calls.
struct CompositorCalls {
    BusReply (*activeOutputName)();
    BusReply (*showOutputLocator)();
};
