#pragma once
// What the player benchmarks share: a window stand-in that counts yields, a
// silent media control, stopwatches, and a way to time a reference command.

#include "media/mm_control.h"
#include "platform/ui_host.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace orvane::bench {

class CountingUi final : public UiHost {
public:
    void yield() override { ++yields; }
    void messageBox(const std::string&, int, const std::string&) override {}
    void setMousePointer(int) override {}
    void post(std::function<void()>) override {} // the benches read files at once: nothing is posted
    long yields = 0;
};

class NullMMControl final : public MMControl {
public:
    void setCommand(const std::string&) override {}
    void setFileName(const std::string&) override {}
    void setNotify(bool) override {}
    void setWait(bool) override {}
    void setShareable(bool) override {}
};

template <typename F>
double secondsOf(F&& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

inline double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Wall time of one run of a command, its output thrown away. The command's
// start-up (about a millisecond) is counted against it, which only favours the
// code being measured by a hair.
inline double commandSeconds(const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    int status = 0;
    const double seconds = secondsOf([&] {
        if (posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            throw std::runtime_error("cannot start " + args[0]);
        waitpid(child, &status, 0);
    });
    posix_spawn_file_actions_destroy(&actions);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error(args[0] + " failed");
    return seconds;
}

inline bool exists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

inline void makeFolder(const std::string& path)
{
    if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST)
        throw std::runtime_error("cannot create " + path);
}

inline void makeEmptyFile(const std::string& path)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        throw std::runtime_error("cannot create " + path);
    close(fd);
}

// A generated tree is reused once its hidden marker shows it is complete.
inline const char* const CompleteMarker = "/.complete";

inline void markComplete(const std::string& root)
{
    makeEmptyFile(root + CompleteMarker);
}

inline bool isComplete(const std::string& root)
{
    return exists(root + CompleteMarker);
}

inline void printRatio(const char* what, double measured, double reference, double goal)
{
    const double ratio = measured / reference;
    std::printf("%-44s %9.2f ms  reference %9.2f ms  ratio %5.2f  (goal <= %.1f: %s)\n", what,
                measured * 1e3, reference * 1e3, ratio, goal, ratio <= goal ? "met" : "MISSED");
}

} // namespace orvane::bench
