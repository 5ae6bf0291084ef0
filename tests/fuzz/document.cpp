// The virtual backend's document loader: its two readers agree, whatever it
// accepts it must write back to a document that loads to the same text
// again, and its outputs' sizes and edges must fit int.

#include "fuzz.h"

#include "custom_mode_ids.h"
#include "virtual/document.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace {

bool fitsInt(double value)
{
    return value >= double(std::numeric_limits<int>::min()) &&
           value <= double(std::numeric_limits<int>::max());
}

// Worked out here in double and 64 bits, never in int, so that a value past
// int's range is seen as it is.
void checkSizes(const Dispor::Output::Data &data)
{
    Dispor::Output::Data offered = data;
    Dispor::offerCustomModes(offered);
    const Dispor::Output output(offered);
    const QSize pixels = output.size();
    double width = std::round(pixels.width() / data.scale), height = std::round(pixels.height() / data.scale);
    using Rotation = Dispor::Output::Rotation;
    const Rotation rotation = data.rotation;
    if (rotation == Rotation::Left || rotation == Rotation::Right || rotation == Rotation::Flipped90 ||
        rotation == Rotation::Flipped270)
        std::swap(width, height);
    FUZZ_CHECK(fitsInt(width) && fitsInt(height));
    FUZZ_CHECK(output.logicalSize() == QSize(int(width), int(height)));

    if (data.explicitLogicalSize) {
        width = std::round(data.explicitLogicalSize->width());
        height = std::round(data.explicitLogicalSize->height());
        FUZZ_CHECK(fitsInt(width) && fitsInt(height));
    }
    FUZZ_CHECK(output.explicitLogicalSizeInt() == QSize(int(width), int(height)));

    // QRect keeps the last column and row: both ends of each edge must fit.
    const int64_t right = int64_t(data.pos.x()) + int64_t(width),
                  bottom = int64_t(data.pos.y()) + int64_t(height);
    for (const int64_t end : {right, right - 1, bottom, bottom - 1})
        FUZZ_CHECK(fitsInt(double(end)));
    const QRect geometry = output.geometry();
    FUZZ_CHECK(geometry.right() == right - 1 && geometry.bottom() == bottom - 1);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::silenceStreams();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = fuzz::bytes(data, size);
    Dispor::Virtual::Outputs outputs, full;
    QString fault, fullFault;
    const bool read = Dispor::Virtual::parseDocument(bytes, &outputs, &fault);
    // The quick reader takes plain documents only, and must read them as the
    // full reader does: the same verdict, the same fault, the same outputs.
    FUZZ_CHECK(read == Dispor::Virtual::parseDocumentFully(bytes, &full, &fullFault) && fault == fullFault);
    if (!read) {
        FUZZ_CHECK(!fault.isEmpty() && !fault.contains(u'\n'));
        return 0;
    }
    FUZZ_CHECK(Dispor::Virtual::writeDocument(full) == Dispor::Virtual::writeDocument(outputs));
    qsizetype faulty = 0;
    FUZZ_CHECK(Dispor::Virtual::checkOutputs(outputs, &faulty, &fault));

    const QByteArray written = Dispor::Virtual::writeDocument(outputs);
    Dispor::Virtual::Outputs again;
    if (!Dispor::Virtual::parseDocument(written, &again, &fault)) {
        std::fprintf(stderr, "written document does not load: %s\n%s\n", qPrintable(fault),
                     written.constData());
        FUZZ_CHECK(false);
    }
    FUZZ_CHECK(Dispor::Virtual::writeDocument(again) == written);

    for (const Dispor::Output::Data &d : outputs) {
        const QStringList ids = Dispor::customModeIds(d.modes, d.customModes);
        FUZZ_CHECK(ids.size() == d.customModes.size());
        for (const QString &id : ids)
            FUZZ_CHECK(!d.modes.contains(id) && ids.count(id) == 1);
        checkSizes(d);
    }
    return 0;
}
