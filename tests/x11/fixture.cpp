#include "fixture.h"

#include <filesystem>

namespace x11 {

void X11Test::SetUpTestSuite()
{
    s_failure.clear();
    try {
        s_runtime = std::make_unique<support::TempDir>();
        s_server = std::make_unique<XServer>();
        s_randr = std::make_unique<Randr>(s_server->display());
        // The dummy driver connects an output once it has shown a mode.
        for (const char *output : {"DUMMY1", "DUMMY2"})
            xrandr(display(), {"--addmode", output, "1920x1080"});
        xrandr(display(), {"--output", "DUMMY1", "--mode", "1920x1080", "--output", "DUMMY2", "--mode",
                           "1920x1080", "--right-of", "DUMMY1"});
    } catch (const std::exception &e) {
        s_failure = e.what();
        s_randr.reset();
        s_server.reset();
    }
}

void X11Test::TearDownTestSuite()
{
    s_randr.reset();
    s_server.reset();
    s_runtime.reset();
}

const std::vector<std::string> &X11Test::testProperties()
{
    static const std::vector<std::string> names = {
        "Broadcast RGB", "max bpc",       "underscan",          "underscan hborder", "underscan vborder",
        "EDID",          "ConnectorType", "_DISPOR_REPLICA_OF", "_DISPOR_GAMMA",     "Backlight"};
    return names;
}

void X11Test::SetUp()
{
    ASSERT_TRUE(s_server) << s_failure;
    xrandr(display(), {"--output", "DUMMY0",    "--mode",   "1920x1080", "--pos",  "0x0",       "--rotate",
                       "normal",   "--primary", "--output", "DUMMY1",    "--mode", "1920x1080", "--pos",
                       "1920x0",   "--rotate",  "normal",   "--output",  "DUMMY2", "--off"});
    xrandr(display(), {"--output", "DUMMY0", "--brightness", "1", "--output", "DUMMY1", "--brightness", "1"});
    randr().removeCustomModes();
    std::filesystem::remove_all(runtimeDir() + "/dispor");
    for (const char *output : {"DUMMY0", "DUMMY1", "DUMMY2"}) {
        for (const std::string &property : testProperties())
            randr().remove(output, property);
    }
}

QJsonObject X11Test::json(const std::string &output)
{
    const e2e::Result result = run({output, "--json"});
    EXPECT_EQ(result.status, 0) << result;
    return QJsonDocument::fromJson(QByteArray::fromStdString(result.out)).object();
}

} // namespace x11
