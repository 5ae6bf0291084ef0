#include "document_cases.h"

using namespace cases;

namespace {

// A (1920x1080, primary) at the origin and B (1280x720) right of it; C is
// off and far away, so it neither counts for nor takes part in normalising.
const std::string document = R"({"outputs": [
    {"id": 1, "name": "A", "priority": 1, "size": {"width": 1920, "height": 1080}},
    {"id": 2, "name": "B", "uuid": "uuid-b", "priority": 2, "pos": {"x": 1920, "y": 0},
     "size": {"width": 1280, "height": 720}},
    {"id": 3, "name": "C", "enabled": false, "pos": {"x": -5000, "y": -5000},
     "size": {"width": 800, "height": 600}}
]})";

TEST(Positioning, RelativePlacementIsNormalisedToTheOrigin)
{
    On(document).expectChanges({
        // above: the moved output's height; then the layout moves to the origin.
        {{"A", "above", "B"}, {"B.pos={\"x\":0,\"y\":1080}"}},
        {{"B", "above", "A"}, {"A.pos={\"x\":0,\"y\":720}", "B.pos={\"x\":0,\"y\":0}"}},
        // below: the reference's height.
        {{"A", "below", "B"}, {"A.pos={\"x\":0,\"y\":720}", "B.pos={\"x\":0,\"y\":0}"}},
        {{"B", "below", "A"}, {"B.pos={\"x\":0,\"y\":1080}"}},
        // left-of: the moved output's width.
        {{"B", "left-of", "A"}, {"A.pos={\"x\":1280,\"y\":0}", "B.pos={\"x\":0,\"y\":0}"}},
        {{"A", "left-of", "B"}, {}},
        // right-of: the reference's width.
        {{"A", "right-of", "B"}, {"A.pos={\"x\":1280,\"y\":0}", "B.pos={\"x\":0,\"y\":0}"}},
        {{"B", "right-of", "A"}, {}},
        // The reference by uuid, id and keyword.
        {{"A", "above", "uuid-b"}, {"B.pos={\"x\":0,\"y\":1080}"}},
        {{"A", "above", "2"}, {"B.pos={\"x\":0,\"y\":1080}"}},
        {{"B", "below", "primary-output"}, {"B.pos={\"x\":0,\"y\":1080}"}},
        // A disabled output may be moved; the layout is normalised over the others.
        {{"C", "right-of", "B"}, {"C.pos={\"x\":3200,\"y\":0}"}},
    });
}

TEST(Positioning, RelativePlacementRefusals)
{
    On(document).expectRefusals({
        {{"A", "right-of", "A"}, "The reference output cannot be the same as the moved output"},
        {{"A", "left-of", "primary-output"}, "The reference output cannot be the same as the moved output"},
        {{"uuid-b", "above", "2"}, "The reference output cannot be the same as the moved output"},
        {{"A", "below", "D"}, "Unknown output: D"},
        {{"A", "below", "a"}, "Unknown output: a"},
        {{"A", "below", "2.0"}, "Unknown output: 2.0"},
        {{"D", "below", "A"}, "Unknown output: D"},
        {{"A", "above"}, "Invalid arguments: "},
        {{"A", "above", "B", "C"}, "Invalid arguments: B C"},
    });
}

TEST(Positioning, TheActiveOutputAsReference)
{
    e2e::SessionBus bus;
    {
        e2e::Compositor vantor(bus, {"--active-output", "B"});
        e2e::VirtualSet set(document);
        EXPECT_EQ(e2e::run(set, bus, {"A", "below", "active-output"}), (e2e::Result{0, "", ""}));
        EXPECT_EQ(differences(document, set.read()),
                  (std::vector<std::string>{"A.pos={\"x\":0,\"y\":720}", "B.pos={\"x\":0,\"y\":0}"}));
        e2e::VirtualSet again(document);
        EXPECT_EQ(e2e::run(again, bus, {"B", "right-of", "active-output"}),
                  (e2e::Result{1, "", "The reference output cannot be the same as the moved output\n"}));
        EXPECT_EQ(again.read(), document);
    }
    {
        e2e::Compositor vantor(bus, {"--active-error", "no output is active"});
        e2e::VirtualSet set(document);
        EXPECT_EQ(e2e::run(set, bus, {"A", "below", "active-output"}),
                  (e2e::Result{1, "",
                               "Failed to determine active output: no output is active\n"
                               "Unknown output: active-output\n"}));
        EXPECT_EQ(set.read(), document);
    }
}

TEST(Positioning, SetPosition)
{
    On(document).expectChanges({
        // Applied as given: not normalised.
        {{"B", "set-position", "-100", "50"}, {"B.pos={\"x\":-100,\"y\":50}"}},
        {{"A", "set-position", "10.7", "3"}, {"A.pos={\"x\":10,\"y\":3}"}},
        {{"A", "set-position", "-0.5", "-10.9"}, {"A.pos={\"x\":0,\"y\":-10}"}},
        {{"B", "set-position", "1e3", "+2E3"}, {"B.pos={\"x\":1000,\"y\":2000}"}},
        // The last place whose right edge still fits 32 bits.
        {{"B", "set-position", "2147482367.9", "-2147483648.5"},
         {"B.pos={\"x\":2147482367,\"y\":-2147483648}"}},
        {{"B", "set-position", "1920", "0"}, {}},
        {{"C", "set-position", "0", "0"}, {"C.pos={\"x\":0,\"y\":0}"}},
    });
    On(document).expectRefusals({
        {{"A", "set-position", "10px", "3"}, "Invalid argument: 10px"},
        {{"A", "set-position", "3", "10px"}, "Invalid argument: 10px"},
        // X is converted and checked before Y.
        {{"A", "set-position", "x", "y"}, "Invalid argument: x"},
        {{"A", "set-position", "2147483648", "y"}, "Invalid argument: 2147483648"},
        {{"A", "set-position", "0", "-2147483649"}, "Invalid argument: -2147483649"},
        {{"B", "set-position", "2147483647", "0"},
         "Failed to apply output configuration: B: \"pos\" 2147483647,0 with the logical size 1280x720 puts "
         "an edge "
         "outside 32-bit integers"},
        {{"A", "set-position", "1e10", "0"}, "Invalid argument: 1e10"},
        {{"A", "set-position", "nan", "0"}, "Invalid argument: nan"},
        {{"A", "set-position", "0", "-inf"}, "Invalid argument: -inf"},
        {{"A", "set-position", "1,5", "0"}, "Invalid argument: 1,5"},
        {{"A", "set-position", "10"}, "Invalid arguments: 10"},
        {{"A", "set-position", "1", "2", "3"}, "Invalid arguments: 1 2 3"},
    });
}

// E has neither size nor mode, so no place of its own; D is disconnected
// and sizeless like an unplugged connector.
const std::string sizeless = R"({"outputs": [
    {"id": 1, "name": "A", "priority": 1, "size": {"width": 1920, "height": 1080}},
    {"id": 2, "name": "B", "priority": 2, "pos": {"x": 1920, "y": 0}, "size": {"width": 1280, "height": 720}},
    {"id": 3, "name": "C", "enabled": false, "pos": {"x": -5000, "y": -5000},
     "size": {"width": 800, "height": 600}},
    {"id": 4, "name": "D", "enabled": false, "connected": false},
    {"id": 5, "name": "E", "enabled": false},
    {"id": 6, "name": "F\nG", "enabled": false, "connected": false}
]})";

TEST(Positioning, AnOutputWithoutASizeHasNoPlace)
{
    On(sizeless).expectRefusals({
        {{"A", "right-of", "D"}, "Output D has no place in the layout"},
        {{"B", "below", "D"}, "Output D has no place in the layout"},
        {{"A", "above", "E"}, "Output E has no place in the layout"},
        {{"A", "left-of", "5"}, "Output E has no place in the layout"},
        // A name from outside stays on one line.
        {{"A", "left-of", "6"}, "Output F\\u000aG has no place in the layout"},
        // Above or left of another, the moved output's own size counts.
        {{"E", "above", "A"}, "Output E has no place in the layout"},
        {{"E", "left-of", "B"}, "Output E has no place in the layout"},
    });
    On(sizeless).expectChanges({
        {{"E", "right-of", "B"}, {"E.pos={\"x\":3200,\"y\":0}"}},
        {{"E", "below", "A"}, {"E.pos={\"x\":0,\"y\":1080}"}},
        // A disabled reference with a place and a size counts as before.
        {{"A", "right-of", "C"}, {"B.pos={\"x\":6120,\"y\":5000}"}},
    });
}

TEST(Positioning, ALayoutBeyondTheCoordinateRangeIsRefused)
{
    // HDMI-A-1 holds the left edge at 0.
    const std::string far = R"({"outputs": [
    {"id": 1, "name": "eDP-1", "priority": 1, "size": {"width": 1920, "height": 1080}},
    {"id": 2, "name": "DP-1", "priority": 2, "pos": {"x": 1920, "y": 0}, "size": {"width": 1920, "height": 1080}},
    {"id": 3, "name": "HDMI-A-1", "priority": 3, "pos": {"x": 0, "y": 1080}, "size": {"width": 1920, "height": 1080}}
]})";
    e2e::VirtualSet set(far);
    // Its right edge at the end of the range.
    ASSERT_EQ(e2e::run(set, {"eDP-1", "set-position", "2147481727", "0"}), (e2e::Result{0, "", ""}));
    const std::string placed = set.read();
    // Right of eDP-1 is 2147483647, where DP-1 would end beyond the range.
    EXPECT_EQ(e2e::run(set, {"DP-1", "right-of", "eDP-1"}),
              (e2e::Result{1, "", "The layout would not fit the coordinate range\n"}));
    EXPECT_EQ(set.read(), placed);

    // Without it, normalising brings the pair back into the range, side by
    // side where they started.
    const std::string pair = R"({"outputs": [
    {"id": 1, "name": "eDP-1", "priority": 1, "size": {"width": 1920, "height": 1080}},
    {"id": 2, "name": "DP-1", "priority": 2, "pos": {"x": 1920, "y": 0}, "size": {"width": 1920, "height": 1080}}
]})";
    e2e::VirtualSet two(pair);
    ASSERT_EQ(e2e::run(two, {"eDP-1", "set-position", "2147481727", "0"}), (e2e::Result{0, "", ""}));
    EXPECT_EQ(e2e::run(two, {"DP-1", "right-of", "eDP-1"}), (e2e::Result{0, "", ""}));
    EXPECT_EQ(differences(pair, two.read()), std::vector<std::string>{});
}

TEST(Positioning, AResizeDoesNotMoveOutputsOntoOthers)
{
    // A with B right of it and C below it. B's smaller mode would have moved
    // C up by 144 onto A: nothing moves now, and B shrinks in place.
    const std::string corner = R"({"outputs": [
    {"id": 1, "name": "A", "priority": 1, "size": {"width": 1920, "height": 1080}},
    {"id": 2, "name": "B", "priority": 2, "pos": {"x": 1920, "y": 0},
     "modes": [{"id": "1", "width": 1280, "height": 720, "refreshRate": 60.0},
               {"id": "2", "width": 1024, "height": 576, "refreshRate": 60.0}], "currentModeId": "1"},
    {"id": 3, "name": "C", "priority": 3, "pos": {"x": 0, "y": 1080}, "size": {"width": 1024, "height": 768}}
]})";
    On(corner).expectChanges({
        {{"B", "set-mode", "1024x576"},
         {"B.currentModeId=\"2\"", "B.explicitLogicalSize={\"height\":576,\"width\":1024}"}},
        // Growing still makes room below as before.
        {{"A", "set-scale", "75%"},
         {"A.explicitLogicalSize={\"height\":1440,\"width\":2560}", "A.scale=0.75",
          "B.pos={\"x\":2560,\"y\":0}", "C.pos={\"x\":0,\"y\":1440}"}},
    });
}

} // namespace

namespace {

// The places in a document that differ from those in another.
std::vector<std::string> movedFrom(const std::string &before, const std::string &after)
{
    std::vector<std::string> moved;
    for (const std::string &change : differences(before, after)) {
        if (change.find(".pos=") != std::string::npos)
            moved.push_back(change);
    }
    return moved;
}

std::string withModes(const std::string &name, int id, int x, int y)
{
    return R"({"id": )" + std::to_string(id) + R"(, "name": ")" + name + R"(", "priority": )" +
           std::to_string(id) + R"(, "pos": {"x": )" + std::to_string(x) + R"(, "y": )" + std::to_string(y) +
           R"(},
     "capabilities": ["disable"],
     "modes": [{"id": "1", "width": 1920, "height": 1080, "refreshRate": 60.0},
               {"id": "2", "width": 1280, "height": 720, "refreshRate": 60.0}], "currentModeId": "1"})";
}

TEST(Positioning, AChangeAndItsReversalGiveBackTheLayout)
{
    const std::string grid = R"({"outputs": [)" + withModes("A", 1, 0, 0) + ", " +
                             withModes("B", 2, 1920, 0) + ", " + withModes("C", 3, 0, 1080) + ", " +
                             withModes("D", 4, 1920, 1080) + "]}";
    const std::vector<std::vector<std::string>> trips = {
        {"A", "set-mode", "1280x720"},  {"A", "set-mode", "1920x1080"},  {"B", "set-mode", "1280x720"},
        {"B", "set-mode", "1920x1080"}, {"A", "set-scale", "200%"},      {"A", "set-scale", "100%"},
        {"C", "set-rotation", "90"},    {"C", "set-rotation", "normal"},
    };
    e2e::VirtualSet set(grid);
    for (size_t i = 0; i < trips.size(); i += 2) {
        SCOPED_TRACE(trips[i][0] + " " + trips[i][1] + " " + trips[i][2]);
        ASSERT_EQ(e2e::run(set, trips[i]), (e2e::Result{0, "", ""}));
        ASSERT_EQ(e2e::run(set, trips[i + 1]), (e2e::Result{0, "", ""}));
        EXPECT_EQ(movedFrom(grid, set.read()), std::vector<std::string>{});
    }
    // The shrink itself: B follows A's edge, C cannot without covering B.
    e2e::VirtualSet shrunk(grid);
    ASSERT_EQ(e2e::run(shrunk, {"A", "set-mode", "1280x720"}), (e2e::Result{0, "", ""}));
    EXPECT_EQ(movedFrom(grid, shrunk.read()), std::vector<std::string>{"B.pos={\"x\":1280,\"y\":0}"});
}

TEST(Positioning, SwitchedOffOrMirroredOutputsLeaveNoGap)
{
    const std::string row = R"({"outputs": [)" + withModes("A", 1, 0, 0) + ", " + withModes("B", 2, 1920, 0) +
                            ", " + withModes("C", 3, 3840, 0) + ", " + withModes("D", 4, 5760, 0) + "]}";
    e2e::VirtualSet set(row);
    ASSERT_EQ(e2e::run(set, {"B", "set-enabled", "false"}), (e2e::Result{0, "", ""}));
    EXPECT_EQ(movedFrom(row, set.read()),
              (std::vector<std::string>{"C.pos={\"x\":1920,\"y\":0}", "D.pos={\"x\":3840,\"y\":0}"}));
    // Its old place is taken now: it goes right of the others.
    ASSERT_EQ(e2e::run(set, {"B", "set-enabled", "true"}), (e2e::Result{0, "", ""}));
    EXPECT_EQ(movedFrom(row, set.read()),
              (std::vector<std::string>{"B.pos={\"x\":5760,\"y\":0}", "C.pos={\"x\":1920,\"y\":0}",
                                        "D.pos={\"x\":3840,\"y\":0}"}));
    // A mirror leaves its place as well, and comes back beside the others.
    e2e::VirtualSet mirrored(row);
    ASSERT_EQ(e2e::run(mirrored, {"B", "set-replica-of", "A"}), (e2e::Result{0, "", ""}));
    EXPECT_EQ(movedFrom(row, mirrored.read()),
              (std::vector<std::string>{"C.pos={\"x\":1920,\"y\":0}", "D.pos={\"x\":3840,\"y\":0}"}));
    ASSERT_EQ(e2e::run(mirrored, {"B", "set-replica-of", "none"}), (e2e::Result{0, "", ""}));
    EXPECT_EQ(movedFrom(row, mirrored.read())[0], "B.pos={\"x\":5760,\"y\":0}");

    // Placed where it already is, an output leaves no gap and nothing moves.
    On(row).expectChanges({
        {{"B", "right-of", "A"}, {}},
        {{"B", "left-of", "C"}, {}},
        {{"D", "right-of", "C"}, {}},
    });
    // A mirror placed against its own source mirrors no more, as against
    // any other output.
    std::string withMirror = row;
    withMirror.replace(withMirror.find(R"("pos": {"x": 1920, "y": 0})"), 26,
                       R"("pos": {"x": 0, "y": 0}, "replicationSource": 1)");
    On(withMirror)
        .expectChanges({
            {{"B", "above", "A"},
             {"A.pos={\"x\":0,\"y\":1080}", "B.replicationSource=0", "C.pos={\"x\":3840,\"y\":1080}",
              "D.pos={\"x\":5760,\"y\":1080}"}},
            {{"B", "left-of", "A"},
             {"A.pos={\"x\":1920,\"y\":0}", "B.replicationSource=0", "C.pos={\"x\":5760,\"y\":0}",
              "D.pos={\"x\":7680,\"y\":0}"}},
        });
}

} // namespace
