#pragma once

// What the parts of the document code share: document.h's functions are
// spread over document_*.cpp by job (reading, the quick reading, writing,
// checks, the default set).

#include "document.h"

#include "../custom_mode_ids.h"
#include "../properties.h"

#include <QAnyStringView>
#include <QString>

#include <cstdint>
#include <string_view>

namespace Dispor::Virtual {

using Data = Output::Data;

// A number as JSON has it: whole numbers without a fraction.
QString number(double value);

// Where a value sits ("modes[2].width"), spelled out only for a message.
struct Path {
    const Path *parent = nullptr;
    QAnyStringView member; // empty for an array element
    qsizetype index = -1;

    QString text() const;
};

inline Path sub(const Path &key, const char *member)
{
    return {&key, QAnyStringView(member), -1};
}

inline Path indexed(const Path &key, qsizetype index)
{
    return {&key, {}, index};
}

// The words of a table, ", " between them.
template <typename Table> QString wordList(const Table &table)
{
    QString list;
    for (const auto &entry : table) {
        if (!list.isEmpty())
            list += ", ";
        list += QLatin1StringView(entry.word);
    }
    return list;
}

inline bool sameKey(std::string_view key, const char *name)
{
    return key == name;
}

inline bool sameKey(const QString &key, const char *name)
{
    return key == QLatin1StringView(name);
}

// The document's properties in order, by index: visit(property) on the one
// whose key is key; false when there is none. index is its place in the list.
template <typename Key, typename Visitor> bool visitKey(const Key &key, int *index, Visitor &&visit)
{
    int at = 0;
    bool found = false;
    Properties::forEach([&](const auto &p) {
        if (!sameKey(key, p.key)) {
            ++at;
            return true;
        }
        found = true;
        visit(p);
        return false;
    });
    *index = at;
    return found;
}

// visit(property) on the property at index in the list.
template <typename Visitor> void visitIndex(int index, Visitor &&visit)
{
    int at = 0;
    Properties::forEach([&](const auto &p) {
        if (at++ != index)
            return true;
        visit(p);
        return false;
    });
}

// The quick reader of plain documents: false for anything it does not take
// or finds wrong, without saying why (document_fast.cpp).
bool fastRead(const QByteArray &bytes, Outputs *outputs, const QMap<int, Output::Data> *like = nullptr);

} // namespace Dispor::Virtual
