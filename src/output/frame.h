#pragma once

#include <dispor/config.h>

#include <QString>

// The frame every per-output command runs in: fetch, resolve, act, apply.

using ConfigPtr = Dispor::ConfigPtr;
using OutputPtr = Dispor::OutputPtr;

// A command's own work on the resolved output; returns the exit status.
using OutputAction = int (*)(OutputPtr output, ConfigPtr config);

// A fresh snapshot, or null when none could be fetched (the library has
// said why).
ConfigPtr fetchConfig();

// The output a word names: "primary-output", "active-output", a connector
// name, a uuid or a numeric id; null when it names none.
OutputPtr resolveOutput(const ConfigPtr &config, const QString &word);

// Fetches, resolves spec ("Unknown output: {}" when it names nothing) and
// runs the action; its result is the exit status. When the action's apply
// meets outputs changed since the fetch, all of it runs again on a fresh
// snapshot, a bounded number of times.
int withOutput(const QString &spec, OutputAction action);

// Fetches and resolves only: withOutput's first step, run again on a
// conflict. Null after printing the failure (or when nothing could be
// fetched).
OutputPtr fetchOutput(const QString &spec, ConfigPtr *config = nullptr);

// What applyConfig returns, printing nothing, when the outputs changed since
// the snapshot was fetched: the change was worked out from an old state.
constexpr int conflictStatus = -1;

// 0 when applied; 1 after "Failed to apply output configuration: {}";
// conflictStatus when nothing was applied because of a newer state.
int applyConfig(const ConfigPtr &config);
