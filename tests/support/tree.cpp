#include "support/tree.h"

#include <signal.h>
#include <sys/stat.h>

#include <cstdlib>

namespace support {

std::string modernTree()
{
    const char *chosen = std::getenv("DISPCTL_MODERN_TREE");
    std::string tree = chosen && *chosen ? chosen : "/var/cache/dispctl/trixie";
    // The script writes this last, once everything is installed.
    struct stat st {};
    return ::stat((tree + "/.dispctl-packages").c_str(), &st) == 0 ? tree : std::string();
}

Spawn inTree(const std::string &tree, const std::vector<std::string> &argv, const Env &env)
{
    static const char *script = "t=$1; shift; "
                                "mount -t proc proc \"$t/proc\" && "
                                "mount --rbind /dev \"$t/dev\" && "
                                "mount --rbind /sys \"$t/sys\" && "
                                "exec chroot \"$t\" \"$@\"";
    std::vector<std::string> args = {"--mount", "--propagation", "private", "--", "sh", "-c", script, "sh",
                                     tree,      "/usr/bin/env",  "-i"};
    bool path = false;
    for (const auto &[name, value] : env) {
        if (!value)
            continue;
        path = path || name == "PATH";
        args.push_back(name + "=" + *value);
    }
    if (!path)
        args.push_back("PATH=/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin");
    args.insert(args.end(), argv.begin(), argv.end());
    return Spawn("unshare", args, pathOnly());
}

Result runInTree(const std::string &tree, const std::vector<std::string> &argv, const Env &env,
                 double timeoutSeconds)
{
    Spawn how = inTree(tree, argv, env);
    Child child = spawn(how);
    Result result;
    if (!drain(child.out, child.err, now() + timeoutSeconds, result.out, result.err)) {
        ::kill(-child.pid, SIGKILL);
        result.err += "\n(timed out after " + std::to_string(timeoutSeconds) + " s)";
    }
    result.status = waitStatus(child.pid);
    return result;
}

} // namespace support
