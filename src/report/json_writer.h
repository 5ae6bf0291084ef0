#pragma once

#include <QString>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// A key of ours as written: quoted, with the colon and space after it, in a
// block of fixed size, so that writing it is one copy the compiler inlines.
class JsonKey {
public:
    static constexpr size_t kBlock = 32;

    template <size_t N> consteval JsonKey(const char (&name)[N]) : m_name(name, N - 1), m_size(N + 3)
    {
        static_assert(N + 3 <= kBlock, "a longer key needs a larger block");
        m_text[0] = '"';
        for (size_t i = 0; i < N - 1; ++i)
            m_text[i + 1] = name[i];
        m_text[N] = '"';
        m_text[N + 1] = ':';
        m_text[N + 2] = ' ';
    }

    constexpr std::string_view name() const { return m_name; }
    constexpr const char *text() const { return m_text; }
    constexpr size_t size() const { return m_size; }

private:
    std::string_view m_name;
    char m_text[kBlock] = {};
    size_t m_size;
};

// Writes JSON text byte for byte as QJsonDocument::toJson(Indented) would,
// without building a QJsonObject tree first.
class JsonWriter {
public:
    void beginObject() { open('{'); }
    void endObject() { close('}'); }
    void beginArray() { open('['); }
    void endArray() { close(']'); }

    // Keys are plain ASCII names of ours: written as they are, in the
    // caller's order, which must be the sorted order QJsonObject keeps.
    template <size_t N> void key(const char (&name)[N])
    {
        element(N + 3);
        put('"');
        std::memcpy(m_text.get() + m_size, name, N - 1); // a known size: no call
        m_size += N - 1;
        std::memcpy(m_text.get() + m_size, "\": ", 3);
        m_size += 3;
        m_afterKey = true;
    }

    // The same for a key from a table.
    void key(const JsonKey &name)
    {
        element(JsonKey::kBlock);
        std::memcpy(m_text.get() + m_size, name.text(), JsonKey::kBlock);
        m_size += name.size();
        m_afterKey = true;
    }

    void value(bool flag);
    void value(int64_t number);
    void value(double number);
    void value(const QString &text);
    // A word of ours: printable ASCII with nothing to escape.
    void plainValue(std::string_view word);
    void null();

    // For objects whose text around the values the caller makes once and
    // keeps: open one (its separator and indentation as an element), put
    // the text up to each value with fragment(), the value with value() or
    // a nested object, and close it with the text after its last value.
    size_t depth() const { return m_empty.size(); }
    void beginShaped()
    {
        element(0);
        m_empty.push_back(false);
    }
    // Each piece of text is given in a block of fixed size, of which the
    // first size bytes count: one copy the compiler inlines.
    static constexpr size_t kBlock = 96;
    using Block = char[kBlock];
    void fragment(const Block &text, size_t size)
    {
        reserve(kBlock);
        std::memcpy(m_text.get() + m_size, text, kBlock);
        m_size += size;
        m_afterKey = true;
    }
    void endShaped(const Block &text, size_t size)
    {
        m_empty.pop_back();
        reserve(kBlock + 1);
        std::memcpy(m_text.get() + m_size, text, kBlock);
        m_size += size;
        if (m_empty.empty())
            put('\n');
    }

    // The text so far; after the outermost container, with toJson's newline.
    std::string_view text() const { return std::string_view(m_text.get(), m_size); }
    // Forgets the text so far (once written out); the nesting stays.
    void discardText() { m_size = 0; }
    void newline()
    {
        reserve(1);
        put('\n');
    }

private:
    void open(char bracket);
    void close(char bracket);

    // Room for n more bytes.
    void reserve(size_t n)
    {
        if (m_size + n > m_capacity)
            grow(n);
    }
    void grow(size_t n);
    // Indentation for depth levels.
    void spaces(size_t depth) { indent(false, depth); }
    // The separator (if not first) and indentation before an element. Up
    // to a depth of 15 one fixed-size copy, which the compiler inlines;
    // the caller has reserved kIndentCopy more bytes.
    static constexpr size_t kIndentCopy = 64;
    [[gnu::always_inline]] void indent(bool separator, size_t depth)
    {
        static constexpr char text[] = ",\n"
                                       "                                                                ";
        const size_t n = 4 * depth + (separator ? 2 : 0);
        const char *from = separator ? text : text + 2;
        if (n <= kIndentCopy && from + kIndentCopy <= text + sizeof text) {
            std::memcpy(m_text.get() + m_size, from, kIndentCopy);
            m_size += n;
            return;
        }
        if (separator)
            put(",\n");
        for (size_t left = 4 * depth; left > 0;) {
            const size_t chunk = std::min<size_t>(left, sizeof text - 3);
            put(std::string_view(text + 2, chunk));
            left -= chunk;
        }
    }
    void put(char c) { m_text[m_size++] = c; }
    void put(std::string_view s)
    {
        std::memcpy(m_text.get() + m_size, s.data(), s.size());
        m_size += s.size();
    }
    // The separator and indentation before an element, with room for n
    // more bytes after them.
    [[gnu::always_inline]] void element(size_t n)
    {
        const size_t depth = m_empty.size();
        reserve(n + 2 + 4 * depth + kIndentCopy);
        if (m_afterKey) {
            m_afterKey = false;
            return;
        }
        if (depth == 0)
            return;
        char &empty = m_empty.back();
        indent(!empty, depth);
        empty = false;
    }

    std::unique_ptr<char[]> m_text; // m_size of m_capacity bytes used
    size_t m_size = 0;
    size_t m_capacity = 0;
    std::vector<char> m_empty; // per open container
    bool m_afterKey = false;
    // The text of fractional numbers written lately, by their bits: a report
    // repeats a few refresh rates thousands of times, and each costs a
    // shortest-form conversion.
    struct Number {
        uint64_t bits = 0;
        uint8_t size = 0; // 0: empty
        char text[40];
    };
    std::unique_ptr<Number[]> m_numbers;
    static constexpr size_t kNumbers = 64;
};
