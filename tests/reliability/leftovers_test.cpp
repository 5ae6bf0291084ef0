// What a writer killed between writing its temporary file and renaming it
// leaves behind must neither pile up nor stand in a later writer's way,
// also when that writer's process id is the dead one's again.

#include "e2e/harness.h"

#include <dispor/dispor.h>

#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <set>
#include <string>

namespace {

std::set<std::string> entries(const std::string &dir)
{
    std::set<std::string> names;
    if (DIR *d = ::opendir(dir.c_str())) {
        while (const dirent *entry = ::readdir(d)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..")
                names.insert(name);
        }
        ::closedir(d);
    }
    return names;
}

// Points the library in this process at the set for the test's lifetime.
class InProcess {
public:
    explicit InProcess(const e2e::VirtualSet &set)
    {
        ::setenv("DISPOR_BACKEND", "virtual", 1);
        ::setenv("DISPOR_VIRTUAL_STATE", set.path().c_str(), 1);
    }
    ~InProcess()
    {
        ::unsetenv("DISPOR_BACKEND");
        ::unsetenv("DISPOR_VIRTUAL_STATE");
    }
};

std::string applyBrightness(double value)
{
    Dispor::GetConfigOperation get;
    get.exec();
    if (!get.config())
        return "no configuration";
    get.config()->output(1)->setBrightness(value);
    Dispor::SetConfigOperation set(get.config());
    return set.exec() ? std::string() : set.errorString().toStdString();
}

const std::string document = R"({"outputs": [{"id": 1, "name": "DP-1", "capabilities": ["brightness"]}]})";

TEST(Leftovers, TemporaryFilesOfDeadWritersAreRemovedByTheNextWrite)
{
    e2e::VirtualSet set(document);
    InProcess here(set);
    // The names a writer with this process id would pick, as if one had
    // died with each of them in place.
    const std::string pid = std::to_string(::getpid());
    for (int n = 0; n < 64; ++n)
        e2e::writeFile(set.runtimeDir() + "/.virtual-display.json." + pid + "." + std::to_string(n) + ".tmp",
                       "{");
    e2e::writeFile(set.runtimeDir() + "/.virtual-display.json.77.0.tmp", "{\"outputs\": [");
    // Not ours: another document's file and a name that only looks alike.
    e2e::writeFile(set.runtimeDir() + "/.virtual-display.json.old.77.0.tmp", "keep");
    e2e::writeFile(set.runtimeDir() + "/.virtual-display.json.x.tmp", "keep");

    EXPECT_EQ(applyBrightness(0.5), "");
    EXPECT_NE(set.read().find("\"brightness\": 0.5"), std::string::npos) << set.read();
    EXPECT_EQ(entries(set.runtimeDir()),
              (std::set<std::string>{".virtual-display.json.old.77.0.tmp", ".virtual-display.json.x.tmp",
                                     "virtual-display.json", "virtual-display.json.lock"}));
    EXPECT_EQ(applyBrightness(0.25), "");
}

} // namespace
