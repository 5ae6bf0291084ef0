#pragma once

// One X server per test suite; every test starts from the same layout:
// DUMMY0 1920x1080 at 0,0 (primary), DUMMY1 1920x1080 at 1920,0, DUMMY2
// connected and off, the other thirteen outputs disconnected.

#include "xserver.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

#include <memory>
#include <string>
#include <vector>

namespace x11 {

class X11Test : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;

    static const std::string &display() { return s_server->display(); }
    static XServer &server() { return *s_server; }
    static Randr &randr() { return *s_randr; }
    // The runs' own XDG_RUNTIME_DIR, where the library keeps what disabled
    // outputs had; emptied before each test.
    static const std::string &runtimeDir() { return s_runtime->path(); }

    static e2e::Result run(const std::vector<std::string> &args, e2e::Env env = {})
    {
        env.emplace("XDG_RUNTIME_DIR", runtimeDir());
        return dispctl(display(), args, env);
    }
    static XScreen screen() { return readScreen(display()); }
    // The output's JSON report, as dispctl prints it.
    static QJsonObject json(const std::string &output);
    // Output and mode ids as the backend gives them: the XIDs in decimal.
    static std::string id(const std::string &output) { return std::to_string(randr().output(output)); }
    static std::string modeId(const std::string &mode) { return std::to_string(randr().mode(mode)); }

    static const std::vector<std::string> &testProperties();

private:
    static inline std::unique_ptr<support::TempDir> s_runtime;
    static inline std::unique_ptr<XServer> s_server;
    static inline std::unique_ptr<Randr> s_randr;
    static inline std::string s_failure;
};

} // namespace x11
