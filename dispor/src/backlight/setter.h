#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

// Sets a kernel backlight device's level through logind's
// Session.SetBrightness on the system bus, for the caller's own session (no
// root needed). The bus code lives in a module beside the backend plugins
// (backlight.so, with Qt's D-Bus library), opened only when a level is set,
// so that no other run loads it.
namespace Dispor::Backlight {

// What the module exports as dispor_backlight_module. It and the library
// that opens it must come from one build.
struct Module {
    const char *version; // DISPOR_VERSION_STRING of the module's build
    // Waits at most the given seconds for the bus and for logind's answer;
    // false with a one-line reason, its outside text escaped.
    bool (*set)(const QString &device, uint32_t level, int seconds, QString *why);
};

// As long as the library waits for the system bus and for logind.
constexpr int answerSeconds = 5;

// The module beside the library's plugins, opened once and kept: false,
// with the reason, when it cannot be opened or logind does not set the level.
bool set(const QString &device, uint32_t level, QString *why);

} // namespace Dispor::Backlight
