#pragma once

// Runs of the built dispctl-profile on a simulated set, with a profiles
// directory of its own, and reads of the set's document.

#include "e2e/harness.h"

#include <string>
#include <vector>

namespace runs {

using support::Result;

// A laptop panel (eDP-1) and a monitor to its right (DP-1, at 150%, with
// VRR), both with a make and model; an EDID-less HDMI-A-1, unplugged.
extern const char *const docked;

class Bed {
public:
    explicit Bed(const std::string &document = docked);
    // The program's environment: the set, and XDG_CONFIG_HOME.
    support::Env env() const;
    Result run(const std::vector<std::string> &args) const;
    std::string profiles() const { return m_config.path() + "/dispctl/profiles"; }
    void writeProfile(const std::string &name, const std::string &text) const;
    std::string document() const { return m_set.read(); }
    // Replaces the document as another program would: whole, by a rename.
    void replaceDocument(const std::string &text) const;
    // One key of one output in the document, as compact JSON ("" when absent).
    std::string field(const std::string &output, const std::string &key) const;

private:
    support::TempDir m_config;
    e2e::VirtualSet m_set;
};

// The document with the values of one output's keys replaced (or added).
std::string edited(const std::string &document, const std::string &output,
                   const std::vector<std::pair<std::string, std::string>> &values);

// The profile with one more output (JSON text) in its list.
std::string appended(const std::string &profile, const std::string &output);

} // namespace runs
