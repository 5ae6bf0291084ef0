#pragma once

// Child processes for tests: started with exactly the environment and
// standard streams asked for, their output drained to the end or to a
// deadline, and stopped.

#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace support {

struct Result {
    int status = -1; // exit status, or 128 + signal number
    std::string out;
    std::string err;

    bool operator==(const Result &) const = default;
};

std::ostream &operator<<(std::ostream &os, const Result &result);

using Env = std::map<std::string, std::optional<std::string>>; // nullopt: unset

// top's entries over base's.
Env merged(Env base, const Env &top);
// This process's own environment.
Env inherited();
// What a program under test gets: PATH, HOME=/nonexistent, LC_ALL=C, a
// session bus that is not there, and the sanitizers' options of the test
// run, so that a sanitizer build's reports land where the run says.
Env testEnvironment();
// PATH, and nothing else: for the servers a test starts.
Env pathOnly();

// What a child's standard stream is.
enum class Stream { Pipe, Null, Closed, Full, File, Inherit };

struct Spawn {
    Spawn() = default;
    Spawn(std::string program, std::vector<std::string> args, Env env)
        : program(std::move(program)), args(std::move(args)), env(std::move(env))
    {}

    std::string program; // a path, or a name looked up on PATH
    std::vector<std::string> args;
    Env env; // the whole environment
    Stream in = Stream::Null;
    Stream out = Stream::Pipe;
    Stream err = Stream::Pipe;
    std::string file; // for Stream::File: created, and shared by out and err
    int fd3 = -1;     // given to the child as its descriptor 3
    // Nothing else of the test's descriptors goes to the child (a limit on
    // descriptors is counted on them).
    bool closeOthers = false;
    // Runs in the child just before the program (a gate to wait behind).
    std::function<void()> beforeExec;
};

// In its own process group; the pipes the parent keeps, -1 where none.
struct Child {
    int pid = -1;
    int in = -1;
    int out = -1;
    int err = -1;
};

Child spawn(const Spawn &spawn);

// Seconds on the monotonic clock.
double now();

// Reads the two descriptors (either may be -1) to their end into out and
// err, until the deadline (a now() value); closes them. False when the
// deadline came first.
bool drain(int outFd, int errFd, double deadline, std::string &out, std::string &err);

// One line from fd, without its newline, waiting at most timeoutSeconds;
// what came before the end or the deadline otherwise.
std::string readLine(int fd, double timeoutSeconds);

// Waits for the child to end: its exit status, or 128 + the signal.
int waitStatus(int pid);
int statusOf(int waitStatus);

// SIGTERM, then waits for it to end; nothing for pid <= 0.
void stop(int pid);

} // namespace support
