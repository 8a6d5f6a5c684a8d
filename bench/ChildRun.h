// Running a program as a child process for the benchmarks that time whole commands: its output
// goes to a file (or nowhere), its wall time and peak resident memory are measured.
#pragma once

#include <chrono>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char **environ;

struct ChildRun {
    bool ok = false; // ran and exited with 0
    double seconds = 0;
    long peakKilobytes = 0;
};

// Runs a program (found on PATH when the name has no slash) with stdout sent to outputPath and
// stderr discarded.
inline ChildRun runChild(const std::vector<std::string> &arguments, const char *outputPath = "/dev/null") {
    std::vector<char *> argv;
    for (const std::string &argument : arguments)
        argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outputPath, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    ChildRun run;
    auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    if (posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        struct rusage usage {};
        if (::wait4(child, &status, 0, &usage) == child) {
            run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
            run.peakKilobytes = usage.ru_maxrss;
        }
    }
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    posix_spawn_file_actions_destroy(&actions);
    return run;
}
