#pragma once

// Servers from the Debian 13 tree (scripts/modern-tree) run inside it with
// chroot, each in a mount namespace of its own: the /proc, /dev and /sys
// they need are mounted there and vanish with the server, so no test leaves
// a mount behind and the pid a test stops is the server's own.

#include "support/process.h"

#include <string>
#include <vector>

namespace support {

// The tree's directory (DISPCTL_MODERN_TREE, else the script's default),
// or empty when it has not been made.
std::string modernTree();

// Runs argv inside tree with exactly env (PATH is the tree's when env has
// none). Paths in argv and env are the tree's; a socket made at the tree's
// /tmp/x is the host's TREE/tmp/x.
Spawn inTree(const std::string &tree, const std::vector<std::string> &argv, const Env &env);

// inTree run to its end (at most timeoutSeconds): exit status and output.
Result runInTree(const std::string &tree, const std::vector<std::string> &argv, const Env &env,
                 double timeoutSeconds = 20);

} // namespace support
