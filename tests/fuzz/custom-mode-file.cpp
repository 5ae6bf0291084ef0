// The Wayland backend's file of custom modes, whatever another process or
// an older version left in it: read or refused with one line, and what is
// read is written back to a file that reads the same.

#include "fuzz.h"

#include "wayland/custom_modes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace Dispor::Wayland;
    CustomModeLists lists;
    QString fault;
    if (!parseCustomModes(fuzz::bytes(data, size), &lists, &fault)) {
        FUZZ_CHECK(!fault.isEmpty() && !fault.contains(u'\n'));
        return 0;
    }
    FUZZ_CHECK(fault.isEmpty());
    // An empty list is not written.
    CustomModeLists kept = lists;
    kept.removeIf([](const auto &list) { return list.value().isEmpty(); });
    const QByteArray written = customModesDocument(lists);
    CustomModeLists again;
    FUZZ_CHECK(parseCustomModes(written, &again, &fault));
    FUZZ_CHECK(again == kept);
    FUZZ_CHECK(customModesDocument(again) == written);
    return 0;
}
