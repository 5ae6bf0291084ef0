#pragma once

#include <dispor/output.h>

#include <string>
#include <vector>

// The description of one output for scripts.

class JsonWriter;
// The object written straight out, byte for byte as QJsonDocument would.
void writeOutputJson(JsonWriter &json, const Dispor::Output &output);

// The object as an indented document on standard output.
void printOutputJson(const Dispor::Output &output);

// What the writer writes, key by key, for the manual page: each object of
// the report with its keys in the order they are written.
struct JsonKeyDoc {
    std::string key;
    std::string type;
    std::string meaning;
    std::string presence; // empty: always present
};
struct JsonObjectDoc {
    std::string name;
    std::string where; // where in the report the object stands
    std::vector<JsonKeyDoc> keys;
};
std::vector<JsonObjectDoc> jsonReference();
