// findMode and the mode text it reads, on an output whose modes come from
// the input too: the first byte gives their count, three bytes each their
// size and rate, the rest is the MODE text.

#include "fuzz.h"

#include "commands/modes.h"
#include "output_data.h"

#include <cmath>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::silenceStreams();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const size_t count = data[0] % 9;
    if (size < 1 + 3 * count)
        return 0;
    // Sizes and rates that collide often, so that every pass of the lookup runs.
    static const int widths[] = {1920, 1280, 3840, 0, -1};
    static const float rates[] = {60.0f, 59.94f, 60.001f, 60.004f, 30.0f, 0.0f, 144.0f, 1e30f};
    Dispor::Output::Data d;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t *m = data + 1 + 3 * i;
        const QString id = m[0] & 0x80 ? QString::number(m[0] & 0x7f) : QStringLiteral("m%1").arg(m[0]);
        const int width = widths[m[1] % 5];
        const int height = width * 9 / 16 + (m[1] >> 4) % 2;
        d.modes.insert(Dispor::ModePtr::create(id, QSize(width, height), rates[m[2] % 8]));
        if (m[2] & 0x10)
            d.currentModeId = id;
        if (m[2] & 0x20)
            d.preferredModeId = id;
    }
    const Dispor::Output output(d);
    const QString text = QString::fromUtf8(fuzz::bytes(data + 1 + 3 * count, size - 1 - 3 * count));

    const Dispor::ModePtr found = findMode(output, text);
    if (found) {
        bool listed = false;
        for (const Dispor::ModePtr &mode : output.modes())
            listed = listed || mode == found;
        FUZZ_CHECK(listed);
    }
    if (output.modes().contains(text))
        FUZZ_CHECK(found == output.modes().value(text));
    for (const Dispor::ModePtr &mode : output.modes()) {
        const QString line = formatModeLine(output, mode);
        FUZZ_CHECK(line.startsWith(mode->id() + u':'));
        // A copied line finds its mode unless an id or an earlier line is the same text.
        if (line == text && !output.modes().contains(text))
            FUZZ_CHECK(found && formatModeLine(output, found) == text);
    }

    if (const std::optional<ModeText> parsed = parseModeText(text)) {
        FUZZ_CHECK(text.contains(u'x'));
        if (parsed->refreshRate)
            FUZZ_CHECK(std::isfinite(*parsed->refreshRate));
        if (found && !output.modes().contains(text) && !text.contains(u':'))
            FUZZ_CHECK(found->size() == QSize(parsed->width, parsed->height));
    }
    return 0;
}
