// Standard output or error closed or on a full device: no crash, no hang,
// and a run whose result could not be written does not report success.

#include "process.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using reliability::Stream;

const std::string document = R"({"outputs": [
    {"id": 1, "name": "DP-1", "priority": 1, "capabilities": ["brightness", "custom-modes"],
     "modes": [{"id": "1", "width": 1920, "height": 1080, "refreshRate": 60.0}], "currentModeId": "1",
     "customModes": [{"width": 1280, "height": 720, "refreshRate": 60.0, "flags": 1}]},
    {"id": 2, "name": "HDMI-1X", "pos": {"x": 1920, "y": 0}}
]})";

e2e::Result runWith(const e2e::VirtualSet &set, const std::vector<std::string> &args, Stream out, Stream err)
{
    reliability::Launch launch;
    launch.args = args;
    launch.out = out;
    launch.err = err;
    return reliability::runWith(set, launch, 20);
}

// Commands whose result goes to standard output.
const std::vector<std::vector<std::string>> printing = {
    {"list-outputs"},   {"list-outputs", "--json"}, {"list-outputs", "--names"}, {"DP-1"},
    {"DP-1", "--json"}, {"DP-1", "get-name"},       {"DP-1", "list-modes"},
};

TEST(Streams, AResultThatCannotBeWrittenIsAFailure)
{
    e2e::VirtualSet set(document);
    for (const std::vector<std::string> &args : printing) {
        SCOPED_TRACE(::testing::PrintToString(args));
        EXPECT_EQ(runWith(set, args, Stream::Full, Stream::Pipe),
                  (e2e::Result{1, "", "Failed to write to standard output\n"}));
        EXPECT_EQ(runWith(set, args, Stream::Closed, Stream::Pipe),
                  (e2e::Result{1, "", "Failed to write to standard output\n"}));
        const e2e::Result silent = runWith(set, args, Stream::Full, Stream::Closed);
        EXPECT_EQ(silent.status, 1) << silent;
    }
    // list-custom-modes writes its lines to standard error.
    for (const Stream err : {Stream::Full, Stream::Closed}) {
        EXPECT_EQ(runWith(set, {"DP-1", "list-custom-modes"}, Stream::Pipe, err).status, 1);
    }
    EXPECT_EQ(set.read(), document);
}

TEST(Streams, ANameThatFillsAWordIsNotWrittenIntoSomethingElse)
{
    // "HDMI-1X\n" is eight bytes, which a descriptor that took the place of
    // a closed standard output might accept.
    e2e::VirtualSet set(document);
    EXPECT_EQ(runWith(set, {"HDMI-1X", "get-name"}, Stream::Pipe, Stream::Pipe),
              (e2e::Result{0, "HDMI-1X\n", ""}));
    EXPECT_EQ(runWith(set, {"HDMI-1X", "get-name"}, Stream::Closed, Stream::Pipe),
              (e2e::Result{1, "", "Failed to write to standard output\n"}));
}

TEST(Streams, ChangesNeedNoStreamAndFailuresStillFail)
{
    for (const Stream out : {Stream::Closed, Stream::Full}) {
        for (const Stream err : {Stream::Closed, Stream::Full, Stream::Pipe}) {
            SCOPED_TRACE(std::to_string(int(out)) + "/" + std::to_string(int(err)));
            e2e::VirtualSet set(document);
            const e2e::Result changed = runWith(set, {"DP-1", "set-brightness", "40"}, out, err);
            EXPECT_EQ(changed.status, 0) << changed;
            EXPECT_NE(set.read().find("\"brightness\": 0.4"), std::string::npos) << set.read();
            // The document and the lock hold nothing but what the library
            // wrote: the lock, its last holder's pid.
            EXPECT_EQ(e2e::run(set, {"DP-1", "get-name"}), (e2e::Result{0, "DP-1\n", ""}));
            const std::string holder = e2e::readFile(set.path() + ".lock");
            EXPECT_TRUE(!holder.empty() && holder.find_first_not_of("0123456789") == holder.size() - 1 &&
                        holder.back() == '\n')
                << holder;

            const e2e::Result unknown = runWith(set, {"DP-9", "set-brightness", "40"}, out, err);
            EXPECT_EQ(unknown.status, 1) << unknown;
            const e2e::Result refused = runWith(set, {"HDMI-1X", "set-brightness", "40"}, out, err);
            EXPECT_EQ(refused.status, 1) << refused;
            const e2e::Result help = runWith(set, {"help"}, out, err);
            EXPECT_FALSE(reliability::crashed(help)) << help;
        }
    }
}

TEST(Streams, ABrokenDocumentWithClosedStreamsIsStillLeftAlone)
{
    const std::string broken = R"({"outputs": [)";
    e2e::VirtualSet set(broken);
    for (const std::vector<std::string> &args :
         std::vector<std::vector<std::string>>{{"DP-1", "set-brightness", "40"}, {"off"}, {"list-outputs"}}) {
        SCOPED_TRACE(::testing::PrintToString(args));
        const e2e::Result result = runWith(set, args, Stream::Closed, Stream::Closed);
        EXPECT_EQ(result.status, 1) << result;
        EXPECT_EQ(set.read(), broken);
    }
}

} // namespace
