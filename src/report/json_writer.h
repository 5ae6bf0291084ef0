#pragma once

#include <QString>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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
    void key(std::string_view name);

    void value(bool flag);
    void value(int64_t number);
    void value(double number);
    void value(const QString &text);
    // A word of ours: printable ASCII with nothing to escape.
    void plainValue(std::string_view word);
    void null();

    // The text so far; after the outermost container, with toJson's newline.
    const std::string &text() const { return m_text; }

private:
    void open(char bracket);
    void close(char bracket);
    void element();
    void indent(size_t depth) { m_text.append(4 * depth, ' '); }

    std::string m_text;
    std::vector<bool> m_empty; // per open container
    bool m_afterKey = false;
};
