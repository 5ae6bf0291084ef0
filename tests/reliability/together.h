#pragma once

// Several dispctl runs on a real display server, started at the same moment
// behind one gate, for the tests that concurrent writers lose nothing.

#include "reliability/process.h"

#include <memory>
#include <string>
#include <vector>

namespace reliability {

// The results in the order of the runs; env points every run at the server.
inline std::vector<e2e::Result> runTogether(const std::vector<std::vector<std::string>> &runs,
                                            const e2e::Env &env)
{
    // The spawner is made for virtual sets: this one is never read, and its
    // variables are taken out so that only env chooses the backend.
    const e2e::VirtualSet unused;
    e2e::Env launchEnv = env;
    for (const auto &[key, value] : unused.env())
        launchEnv.try_emplace(key, std::nullopt);

    Gate gate;
    std::vector<std::unique_ptr<Process>> processes;
    for (const std::vector<std::string> &args : runs) {
        Launch launch;
        launch.args = args;
        launch.env = launchEnv;
        processes.push_back(std::make_unique<Process>(unused, launch, &gate));
    }
    gate.open();
    std::vector<e2e::Result> results;
    for (const std::unique_ptr<Process> &process : processes)
        results.push_back(process->wait());
    return results;
}

} // namespace reliability
