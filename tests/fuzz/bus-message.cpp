// What the session bus sends back to the name probe, read message by
// message: whatever the bytes, a message is taken whole or not at all.

#include "fuzz.h"

#include "session_bus.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray bytes = fuzz::bytes(data, size);
    for (;;) {
        const qsizetype before = bytes.size();
        std::optional<Dispor::BusMessage> message;
        if (!Dispor::takeBusMessage(bytes, &message))
            break;
        if (!message) {
            FUZZ_CHECK(bytes.size() == before);
            break;
        }
        // A message has at least its fixed header.
        FUZZ_CHECK(before - bytes.size() >= 16);
    }
    return 0;
}
