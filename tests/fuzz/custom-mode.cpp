// The two forms of add-custom-mode: one word is a resolution, nine or more
// are timings (words separated by NUL bytes; the first byte says whether
// reduced blanking was asked for).

#include "fuzz.h"

#include "commands/custom-modes.h"

#include <algorithm>
#include <cmath>
#include <cstring>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::silenceStreams();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const bool reducedBlanking = data[0] & 1;
    const QStringList words = fuzz::words(fuzz::bytes(data + 1, size - 1));

    if (const auto mode = customModeFromResolution(words.first(), reducedBlanking)) {
        FUZZ_CHECK(std::isfinite(mode->refreshRate));
        FUZZ_CHECK(mode->flags == (reducedBlanking ? 3u : 1u));
        FUZZ_CHECK(!mode->timings);
    }

    if (words.size() >= 9) {
        const TimingsResult result = customModeFromTimings(words);
        if (result.mode) {
            const Dispor::ModeInfo &mode = *result.mode;
            FUZZ_CHECK(mode.timings);
            FUZZ_CHECK(mode.timings->htotal != 0 && mode.timings->vtotal != 0);
            FUZZ_CHECK(mode.width == mode.timings->hdisplay && mode.height == mode.timings->vdisplay);
            FUZZ_CHECK(mode.flags == 1u && mode.timings->hskew == 0 && mode.timings->vscan == 1);
            FUZZ_CHECK(std::isfinite(mode.refreshRate) && mode.refreshRate >= 0);
            FUZZ_CHECK((mode.timings->flags & ~31u) == 0);
        } else {
            FUZZ_CHECK(words.contains(result.failedValue));
        }
    }

    // Any timings at all: never a division by zero, never a negative rate.
    Dispor::ModeTimings timings;
    const QByteArray raw = fuzz::bytes(data + 1, size - 1);
    std::memcpy(&timings, raw.constData(), std::min(sizeof timings, size_t(raw.size())));
    if (const std::optional<float> rate = refreshRateFromTimings(timings))
        FUZZ_CHECK(timings.htotal != 0 && timings.vtotal != 0 && *rate >= 0 && std::isfinite(*rate));
    else
        FUZZ_CHECK(timings.htotal == 0 || timings.vtotal == 0);
    return 0;
}
