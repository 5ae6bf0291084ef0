#include "document_parts.h"

#include "../mode_block.h"

#include "dispor/words.h"

#include <QSet>

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <numeric>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace Dispor::Virtual {

// The usual document, read straight into outputs without QJsonDocument. It
// takes only plain forms (ASCII strings without escapes, no timings, no
// "-0") and gives up on anything else or anything wrong: the full reader then
// reads the document again and says what is wrong in its own words.
namespace {

class FastReader {
public:
    FastReader(const QByteArray &bytes, const QMap<int, Data> *like)
        : m_p(bytes.constData()), m_end(bytes.constData() + bytes.size()), m_like(like)
    {}

    bool document(Outputs *outputs);

private:
    // Most calls find no white space: that test stays inline.
    void space()
    {
        if (m_p == m_end || static_cast<unsigned char>(*m_p) > ' ')
            return;
        skipSpace();
    }
    void skipSpace()
    {
#if defined(__SSE2__)
        // Sixteen bytes a step, newlines and indentation alike: a run of
        // white space in an indented document is mostly one step.
        while (m_end - m_p >= 16) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(m_p));
            const __m128i white = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(' ')),
                                                            _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n'))),
                                               _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\r')),
                                                            _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\t'))));
            const auto other = static_cast<uint32_t>(~_mm_movemask_epi8(white)) & 0xffffu;
            if (other != 0) {
                m_p += std::countr_zero(other);
                return;
            }
            m_p += 16;
        }
#endif
        // Written documents are indented: most of their bytes are runs of
        // spaces, taken eight bytes at a time up to the first other byte.
        constexpr uint64_t spaces = 0x2020202020202020u;
        while (m_p < m_end) {
            if (m_end - m_p >= 8) {
                uint64_t eight = 0;
                std::memcpy(&eight, m_p, 8);
                if (const uint64_t other = eight ^ spaces) {
                    // The first byte in memory is the low one on little-endian machines.
                    m_p += (std::endian::native == std::endian::little ? std::countr_zero(other)
                                                                       : std::countl_zero(other)) /
                           8;
                } else {
                    m_p += 8;
                    continue;
                }
            } else if (*m_p == ' ') {
                ++m_p;
                continue;
            }
            if (m_p == m_end || !(*m_p == '\n' || *m_p == '\r' || *m_p == '\t'))
                return;
            ++m_p;
        }
    }
    bool take(char c)
    {
        space();
        if (m_p < m_end && *m_p == c) {
            ++m_p;
            return true;
        }
        return false;
    }
    bool literal(std::string_view word)
    {
        space();
        if (static_cast<size_t>(m_end - m_p) < word.size() || std::string_view(m_p, word.size()) != word)
            return false;
        m_p += word.size();
        return true;
    }

    // Members in any order, each once: onMember(key) reads the value.
    template <typename F> bool object(F &&onMember)
    {
        if (!take('{'))
            return false;
        if (take('}'))
            return true;
        do {
            std::string_view key;
            if (!string(&key) || !take(':') || !onMember(key))
                return false;
        } while (take(','));
        return take('}');
    }
    template <typename F> bool array(F &&onElement)
    {
        if (!take('['))
            return false;
        if (take(']'))
            return true;
        do {
            if (!onElement())
                return false;
        } while (take(','));
        return take(']');
    }

    bool string(std::string_view *out)
    {
        if (!take('"'))
            return false;
        const char *start = m_p;
        while (m_p < m_end) {
            const unsigned char c = static_cast<unsigned char>(*m_p);
            if (c == '"') {
                *out = std::string_view(start, static_cast<size_t>(m_p - start));
                ++m_p;
                return true;
            }
            if (c < 0x20 || c > 0x7e || c == '\\')
                return false;
            ++m_p;
        }
        return false;
    }
    bool string(QString *out)
    {
        std::string_view text;
        if (!string(&text))
            return false;
        *out = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
        return true;
    }

    bool number(double *out)
    {
        space();
        const char *start = m_p;
        const bool negative = m_p < m_end && *m_p == '-';
        if (negative)
            ++m_p;
        // The digits' value, gathered in the one pass that checks the form;
        // it is used only while it is exact (15 digits at most).
        uint64_t mantissa = 0;
        const char *digits = m_p;
        if (m_p < m_end && *m_p == '0') {
            ++m_p;
        } else {
            if (m_p == m_end || *m_p < '1' || *m_p > '9')
                return false;
            while (m_p < m_end && *m_p >= '0' && *m_p <= '9')
                mantissa = mantissa * 10 + static_cast<uint64_t>(*m_p++ - '0');
        }
        const qsizetype whole = m_p - digits;
        qsizetype scale = 0;
        bool plain = true;
        if (m_p < m_end && *m_p == '.') {
            plain = false;
            ++m_p;
            const char *fraction = m_p;
            while (m_p < m_end && *m_p >= '0' && *m_p <= '9')
                mantissa = mantissa * 10 + static_cast<uint64_t>(*m_p++ - '0');
            if (m_p == fraction)
                return false;
            scale = m_p - fraction;
        }
        bool exponent = false;
        if (m_p < m_end && (*m_p == 'e' || *m_p == 'E')) {
            plain = false;
            exponent = true;
            ++m_p;
            if (m_p < m_end && (*m_p == '+' || *m_p == '-'))
                ++m_p;
            const char *power = m_p;
            while (m_p < m_end && *m_p >= '0' && *m_p <= '9')
                ++m_p;
            if (m_p == power)
                return false;
        }
        if (plain && whole <= 15) {
            if (negative && mantissa == 0)
                return false;
            const double value = static_cast<double>(mantissa);
            *out = negative ? -value : value;
            return true;
        }
        if (plain)
            return false;
        // A short decimal fraction: both parts exact as doubles, so the one
        // division rounds correctly, as a full conversion would.
        if (!exponent && whole + scale <= 15 && mantissa != 0) {
            static constexpr double powers[] = {1,   1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
            const double value = static_cast<double>(mantissa) / powers[scale];
            *out = negative ? -value : value;
            return true;
        }
        double value = 0;
        const auto result = std::from_chars(start, m_p, value);
        if (result.ec != std::errc() || result.ptr != m_p || !std::isfinite(value) || value == 0)
            return false;
        *out = value;
        return true;
    }

    template <typename T> bool integer(T *out, int64_t min = std::numeric_limits<T>::min())
    {
        static_assert(sizeof(T) < sizeof(int64_t) || std::is_signed_v<T>, "the range is checked in int64_t");
        // Plain whole numbers, the usual case, without going through a double.
        space();
        const char *p = m_p;
        const bool negative = p < m_end && *p == '-';
        p += negative;
        if (p < m_end && *p >= '0' && *p <= '9' && !(negative && *p == '0')) {
            const char *digits = p;
            int64_t value = 0;
            while (p < m_end && *p >= '0' && *p <= '9' && p - digits < 16)
                value = value * 10 + (*p++ - '0');
            const bool plain =
                p == m_end || (*p != '.' && *p != 'e' && *p != 'E' && !(*p >= '0' && *p <= '9'));
            if (plain && (*digits != '0' || p - digits == 1)) {
                value = negative ? -value : value;
                if (value < min || value > int64_t(std::numeric_limits<T>::max()))
                    return false;
                m_p = p;
                *out = static_cast<T>(value);
                return true;
            }
        }
        double d = 0;
        if (!number(&d) || d != std::trunc(d) || d < double(min) || d > double(std::numeric_limits<T>::max()))
            return false;
        *out = static_cast<T>(d);
        return true;
    }
    bool rate(float *out)
    {
        double d = 0;
        // Beyond a float or rounded to 0: the full reader says which.
        if (!number(&d) || std::fabs(d) > double(std::numeric_limits<float>::max()))
            return false;
        *out = static_cast<float>(d);
        return *out != 0 || d == 0;
    }
    bool optionalNumber(std::optional<double> *out)
    {
        if (literal("null")) {
            out->reset();
            return true;
        }
        double d = 0;
        if (!number(&d))
            return false;
        *out = d;
        return true;
    }
    bool boolean(bool *out)
    {
        if (literal("true")) {
            *out = true;
            return true;
        }
        if (literal("false")) {
            *out = false;
            return true;
        }
        return false;
    }
    template <typename E, size_t N> bool word(const words::Word<E> (&table)[N], E *out)
    {
        std::string_view text;
        if (!string(&text))
            return false;
        for (const words::Word<E> &w : table) {
            if (text == w.word) {
                *out = w.value;
                return true;
            }
        }
        return false;
    }

    // An object of exactly the named members, each read by read(index).
    template <size_t N, typename F> bool fixed(const std::array<std::string_view, N> &names, F &&read)
    {
        if (!take('{'))
            return false;
        uint32_t seen = 0;
        if (take('}'))
            return N == 0;
        size_t next = 0;
        do {
            // Members usually come in the order written: that name is
            // matched in place, without reading the key first.
            size_t i = N;
            if (next < N && quotedAhead(names[next])) {
                i = next;
                m_p += names[next].size() + 2;
            } else {
                std::string_view key;
                if (!string(&key))
                    return false;
                i = static_cast<size_t>(std::find(names.begin(), names.end(), key) - names.begin());
                if (i == N)
                    return false;
            }
            if (seen & (1u << i))
                return false;
            seen |= 1u << i;
            next = i + 1;
            if (!take(':') || !read(i))
                return false;
        } while (take(','));
        return take('}') && seen == (1u << N) - 1;
    }
    // Whether "name" (quoted) comes next, after white space. Names are a
    // few bytes: compared with their size known when compiling, a few
    // loads each, rather than by a call or a loop over the bytes.
    bool quotedAhead(std::string_view name)
    {
        space();
        const size_t n = name.size();
        if (static_cast<size_t>(m_end - m_p) < n + 2 || *m_p != '"' || m_p[n + 1] != '"')
            return false;
        return sameShort(m_p + 1, name.data(), n, std::make_index_sequence<16>());
    }
    template <size_t... N>
    static bool sameShort(const char *a, const char *b, size_t n, std::index_sequence<N...>)
    {
        bool same = false;
        const bool known = ((n == N + 1 && (same = std::memcmp(a, b, N + 1) == 0, true)) || ...);
        return known ? same : std::memcmp(a, b, n) == 0;
    }

    bool modes(ModeList *out, int output);
    // The modes of m_read, made for the given output.
    bool madeModes(ModeList *out, int output);
    bool customModes(QList<ModeInfo> *out);
    bool capabilities(Output::Capabilities *out);
    template <typename T> bool value(const Properties::Property<T> &p, Data &d);
    bool output(Data *d);

    const char *m_p;
    const char *m_end;
    const QMap<int, Data> *m_like;
    // The ids of the last output's modes in order. Outputs of one kind list
    // the same ids, which then share these strings instead of making more.
    std::vector<QString> m_ids;
    struct ModeRead {
        std::string_view id;
        int w = 0, h = 0;
        float refresh = 0;
    };
    std::vector<ModeRead> m_read, m_unsorted;
    // The text of the last list of modes read whole, whose modes m_read
    // holds in id order; empty while m_read holds no whole list.
    std::string_view m_lastModes;
    // The last unsorted list of ids in document order (pointing into the
    // document), and the order sorting gave it.
    std::vector<std::string_view> m_order;
    std::vector<uint32_t> m_sorted;
};

bool FastReader::modes(ModeList *out, int output)
{
    // Read whole, then put in id order: the ids are printable ASCII here,
    // so byte order is the list's order. The lists are kept from output to
    // output, so that each is allocated once.
    std::vector<ModeRead> &read = m_read;
    // Outputs of one kind usually list their modes in the very same text:
    // the same bytes read the same, so the last list read is taken again.
    space();
    const char *start = m_p;
    const size_t lastSize = m_lastModes.size();
    if (lastSize != 0 && static_cast<size_t>(m_end - m_p) >= lastSize &&
        std::memcmp(m_p, m_lastModes.data(), lastSize) == 0) {
        m_p += lastSize;
        return madeModes(out, output);
    }
    m_lastModes = {};
    read.clear();
    if (!array([&] {
            ModeRead &mode = read.emplace_back();
            static constexpr std::array<std::string_view, 4> names{"id", "width", "height", "refreshRate"};
            return fixed(names,
                         [&](size_t i) {
                             switch (i) {
                             case 0:
                                 return string(&mode.id);
                             case 1:
                                 return integer(&mode.w);
                             case 2:
                                 return integer(&mode.h);
                             default:
                                 return rate(&mode.refresh);
                             }
                         }) &&
                   !mode.id.empty();
        }))
        return false;
    // Ids are short: compared in place rather than by a library call each.
    const auto before = [](const ModeRead &a, const ModeRead &b) {
        const size_t n = std::min(a.id.size(), b.id.size());
        for (size_t i = 0; i < n; ++i) {
            if (a.id[i] != b.id[i])
                return static_cast<unsigned char>(a.id[i]) < static_cast<unsigned char>(b.id[i]);
        }
        return a.id.size() < b.id.size();
    };
    // A document we wrote lists them in order already. Others list the
    // same ids in the same order for each output of a kind: the order found
    // for the last output is taken again when its ids are these.
    if (!std::is_sorted(read.begin(), read.end(), before)) {
        bool again = m_order.size() == read.size();
        for (size_t i = 0; again && i < read.size(); ++i)
            again = m_order[i] == read[i].id;
        if (!again) {
            m_order.clear();
            for (const ModeRead &mode : read)
                m_order.push_back(mode.id);
            m_sorted.resize(read.size());
            std::iota(m_sorted.begin(), m_sorted.end(), 0u);
            std::sort(m_sorted.begin(), m_sorted.end(),
                      [&](uint32_t a, uint32_t b) { return before(read[a], read[b]); });
        }
        m_unsorted.swap(read);
        read.clear();
        for (const uint32_t i : m_sorted)
            read.push_back(m_unsorted[i]);
    }
    // A repeated id is refused.
    for (size_t i = 1; i < read.size(); ++i) {
        if (!before(read[i - 1], read[i]))
            return false;
    }
    m_lastModes = std::string_view(start, static_cast<size_t>(m_p - start));
    return madeModes(out, output);
}

bool FastReader::madeModes(ModeList *out, int output)
{
    const std::vector<ModeRead> &read = m_read;
    // The output's id is known here when it comes first, as it does in
    // the documents written here.
    const ModeList *like = nullptr;
    if (m_like && output) {
        const auto found = m_like->constFind(output);
        if (found != m_like->constEnd())
            like = &found->modes;
    }
    QList<ModePtr> modes;
    modes.reserve(static_cast<qsizetype>(read.size()));
    const ModeBlock block(read.size());
    m_ids.resize(std::max(m_ids.size(), read.size()));
    for (size_t i = 0; i < read.size(); ++i) {
        const ModeRead &mode = read[i];
        // Compared in place: ids are a few bytes, a library call costs more.
        QString &id = m_ids[i];
        bool sameId = id.size() == static_cast<qsizetype>(mode.id.size());
        for (size_t k = 0; sameId && k < mode.id.size(); ++k)
            sameId = id.constData()[k].unicode() == static_cast<unsigned char>(mode.id[k]);
        if (!sameId)
            id = QString::fromLatin1(mode.id.data(), static_cast<qsizetype>(mode.id.size()));
        const QSize size(mode.w, mode.h);
        if (like) {
            const auto same = like->find(id);
            if (same != like->end() && (*same)->size() == size && (*same)->refreshRate() == mode.refresh) {
                modes.append(*same);
                continue;
            }
        }
        modes.append(ModePtr::create(id, size, mode.refresh));
    }
    // In id order, each once: the list takes them as they are.
    ModeListPrivate::assignSorted(*out, std::move(modes));
    return true;
}

bool FastReader::customModes(QList<ModeInfo> *out)
{
    return array([&] {
        ModeInfo mode;
        static constexpr std::array<std::string_view, 4> names{"width", "height", "refreshRate", "flags"};
        if (!fixed(names, [&](size_t i) {
                switch (i) {
                case 0:
                    return integer(&mode.width);
                case 1:
                    return integer(&mode.height);
                case 2:
                    return rate(&mode.refreshRate);
                default:
                    return integer(&mode.flags);
                }
            }))
            return false;
        out->append(mode);
        return true;
    });
}

bool FastReader::capabilities(Output::Capabilities *out)
{
    return array([&] {
        Output::Capability capability{};
        if (!word(words::capability, &capability) || out->testFlag(capability))
            return false;
        *out |= capability;
        return true;
    });
}

template <typename T> bool FastReader::value(const Properties::Property<T> &p, Data &d)
{
    T *out = &(d.*p.member);
    if constexpr (std::is_same_v<T, bool>) {
        return boolean(out);
    } else if constexpr (std::is_integral_v<T>) {
        return integer(out, std::max<int64_t>(p.least, std::numeric_limits<T>::min()));
    } else if constexpr (std::is_same_v<T, double>) {
        return number(out);
    } else if constexpr (std::is_same_v<T, std::optional<double>>) {
        return optionalNumber(out);
    } else if constexpr (std::is_same_v<T, QString>) {
        // The one required text is the name, which must not be empty.
        return string(out) && !(p.required && out->isEmpty());
    } else if constexpr (std::is_enum_v<T>) {
        return word(words::of<T>(), out);
    } else if constexpr (std::is_same_v<T, QPoint>) {
        static constexpr std::array<std::string_view, 2> xy{"x", "y"};
        int x = 0, y = 0;
        if (!fixed(xy, [&](size_t i) { return i == 0 ? integer(&x) : integer(&y); }))
            return false;
        *out = QPoint(x, y);
        return true;
    } else if constexpr (std::is_same_v<T, ModeList>) {
        return modes(out, d.id);
    } else if constexpr (std::is_same_v<T, std::optional<QSize>>) {
        static constexpr std::array<std::string_view, 2> size{"width", "height"};
        int w = 0, h = 0;
        if (!fixed(size, [&](size_t i) { return i == 0 ? integer(&w) : integer(&h); }))
            return false;
        *out = QSize(w, h);
        return true;
    } else if constexpr (std::is_same_v<T, std::optional<QSizeF>>) {
        static constexpr std::array<std::string_view, 2> size{"width", "height"};
        double w = 0, h = 0;
        if (!fixed(size, [&](size_t i) { return number(i == 0 ? &w : &h); }))
            return false;
        *out = QSizeF(w, h);
        return true;
    } else if constexpr (std::is_same_v<T, Output::Capabilities>) {
        return capabilities(out);
    } else if constexpr (std::is_same_v<T, Output::BpcRange>) {
        static constexpr std::array<std::string_view, 2> range{"min", "max"};
        return fixed(range, [&](size_t i) { return integer(i == 0 ? &out->min : &out->max); });
    } else if constexpr (std::is_same_v<T, QList<ModeInfo>>) {
        return customModes(out);
    } else {
        static_assert(!sizeof(T), "a property of a type the document cannot read");
    }
}

// The properties' keys by their place in the list, found once: looked up
// by name for each member of each output, they cost more than the values.
const std::vector<std::string_view> &propertyKeys()
{
    static const std::vector<std::string_view> keys = [] {
        std::vector<std::string_view> all;
        Properties::forEach([&](const auto &p) {
            all.emplace_back(p.key);
            return true;
        });
        return all;
    }();
    return keys;
}

// The place of key in keys, -1 when it is none; looked for from after the
// last one found, since the members usually come in the list's order.
int placeOf(const std::vector<std::string_view> &keys, std::string_view key, size_t *next)
{
    const size_t n = keys.size();
    for (size_t k = 0, i = *next; k < n; ++k, i = i + 1 == n ? 0 : i + 1) {
        if (keys[i].size() == key.size() && std::memcmp(keys[i].data(), key.data(), key.size()) == 0) {
            *next = i + 1 == n ? 0 : i + 1;
            return static_cast<int>(i);
        }
    }
    return -1;
}

bool FastReader::output(Data *d)
{
    // Bits by place in the list of properties: the ones read, the required.
    static const uint64_t required = [] {
        uint64_t bits = 0;
        int index = 0;
        Properties::forEach([&](const auto &p) {
            bits |= uint64_t(p.required) << index++;
            return true;
        });
        return bits;
    }();
    const std::vector<std::string_view> &keys = propertyKeys();
    size_t next = 0;
    uint64_t seen = 0;
    if (!object([&](std::string_view name) {
            const int index = placeOf(keys, name, &next);
            if (index < 0)
                return false;
            bool read = false;
            visitIndex(index, [&](const auto &p) { read = value(p, *d); });
            const uint64_t bit = uint64_t{1} << index;
            if (seen & bit)
                return false;
            seen |= bit;
            return read;
        }))
        return false;
    return (seen & required) == required;
}

bool FastReader::document(Outputs *outputs)
{
    bool listed = false;
    if (!object([&](std::string_view key) {
            if (key != "outputs" || listed)
                return false;
            listed = true;
            return array([&] {
                Data d;
                if (!output(&d))
                    return false;
                outputs->append(std::move(d));
                return true;
            });
        }))
        return false;
    space();
    return listed && m_p == m_end;
}

} // namespace

// The checks after reading that the full reader makes, without messages.
bool fastRead(const QByteArray &bytes, Outputs *outputs, const QMap<int, Data> *like)
{
    Outputs result;
    if (!FastReader(bytes, like).document(&result))
        return false;
    QSet<int> ids;
    QSet<QString> names;
    ids.reserve(result.size());
    names.reserve(result.size());
    for (const Data &d : std::as_const(result)) {
        if (ids.contains(d.id) || names.contains(d.name))
            return false;
        ids.insert(d.id);
        names.insert(d.name);
    }
    qsizetype faulty = 0;
    QString what;
    if (!checkOutputs(result, &faulty, &what))
        return false;
    *outputs = std::move(result);
    return true;
}

} // namespace Dispor::Virtual
