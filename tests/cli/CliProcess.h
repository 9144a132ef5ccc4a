// brimwick-cli run as a user runs it: a real process with its own environment, its
// stdout and stderr captured whole, its exit code returned.
#pragma once

#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace clitest {

struct CliRun {
    int code = -1;
    std::string out;
    std::string err;

    // Every stdout line parsed as JSON (a line that is not JSON fails the parse).
    std::vector<nlohmann::json> events() const {
        std::vector<nlohmann::json> parsed;
        std::istringstream lines(out);
        for (std::string line; std::getline(lines, line);) {
            parsed.push_back(nlohmann::json::parse(line));
        }
        return parsed;
    }
};

inline std::string drain(int fd) {
    std::string text;
    char chunk[4096];
    for (ssize_t n; (n = ::read(fd, chunk, sizeof chunk)) > 0;) {
        text.append(chunk, static_cast<size_t>(n));
    }
    ::close(fd);
    return text;
}

// Runs brimwick-cli with `args`; `env` entries ("NAME=value") replace those of this
// process. `pid` (when given) receives the child's id as soon as it runs.
inline CliRun runCli(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
                     std::atomic<pid_t>* pid = nullptr) {
    std::vector<std::string> environment = env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('=') + 1);
        bool replaced = false;
        for (const std::string& own : env) {
            replaced = replaced || own.rfind(name, 0) == 0;
        }
        if (!replaced) {
            environment.push_back(text);
        }
    }
    std::vector<char*> envp;
    for (std::string& entry : environment) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);
    std::vector<std::string> argStore = {BRIMWICK_CLI_PROGRAM};
    argStore.insert(argStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : argStore) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);

    int outPipe[2];
    int errPipe[2];
    if (::pipe(outPipe) != 0 || ::pipe(errPipe) != 0) {
        return {};
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addclose(&actions, outPipe[0]);
    posix_spawn_file_actions_addclose(&actions, errPipe[0]);
    pid_t child = -1;
    const int spawned =
        posix_spawn(&child, BRIMWICK_CLI_PROGRAM, &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    CliRun run;
    if (spawned != 0) {
        ::close(outPipe[0]);
        ::close(errPipe[0]);
        return run;
    }
    if (pid != nullptr) {
        pid->store(child);
    }
    std::thread errReader([&] { run.err = drain(errPipe[0]); });
    run.out = drain(outPipe[0]);
    errReader.join();
    int status = 0;
    ::waitpid(child, &status, 0);
    run.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

} // namespace clitest
