#include "tests/support/ProgramProcess.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <thread>

extern char** environ;

namespace testsupport {

namespace {

std::string drain(int fd, const LineWatcher& watcher = {}) {
    std::string text;
    char chunk[4096];
    size_t watched = 0; // start of the first line not yet given to the watcher
    for (ssize_t n; (n = ::read(fd, chunk, sizeof chunk)) > 0;) {
        text.append(chunk, static_cast<size_t>(n));
        for (size_t end; watcher && (end = text.find('\n', watched)) != std::string::npos;
             watched = end + 1)
            watcher(text.substr(watched, end - watched));
    }
    ::close(fd);
    return text;
}

std::vector<char*> pointersTo(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

// Starts `program` with this process's environment, `env` in place of the entries of the
// same names; its stdout and stderr go to the returned pipe ends.
pid_t spawn(const std::string& program, const std::vector<std::string>& args,
            const std::vector<std::string>& env, int* out, int* err) {
    std::vector<std::string> environment = env, argStore = {program};
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry, name = text.substr(0, text.find('=') + 1);
        if (std::none_of(env.begin(), env.end(), [&](auto& own) { return own.starts_with(name); }))
            environment.push_back(text);
    }
    argStore.insert(argStore.end(), args.begin(), args.end());
    std::vector<char*> argv = pointersTo(argStore), envp = pointersTo(environment);
    int outPipe[2], errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    pid_t child = -1;
    if (posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0)
        child = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    *out = outPipe[0];
    *err = errPipe[0];
    return child;
}

int waitFor(pid_t pid) {
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace

ProgramRun runProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::vector<std::string>& env, std::atomic<pid_t>* pid,
                      const LineWatcher& watcher) {
    ProgramRun run;
    int out = -1, err = -1;
    const pid_t child = spawn(program, args, env, &out, &err);
    if (child < 0) {
        ::close(out);
        ::close(err);
        return run;
    }
    if (pid != nullptr)
        pid->store(child);
    std::thread errReader([&run, err] { run.err = drain(err); });
    run.out = drain(out, watcher);
    errReader.join();
    run.code = waitFor(child);
    return run;
}

SimProcess::SimProcess(const std::string& program, const std::string& folder,
                       const std::vector<std::string>& args) {
    int out = -1, err = -1;
    pid_ = spawn(program, args, {"BRIMWICK_SIM_DIR=" + folder}, &out, &err);
    if (pid_ < 0) {
        error_ = "cannot start " + program;
        ::close(out);
        ::close(err);
        return;
    }
    // It prints what it simulates, then its socket's path once it is plugged in. Both
    // pipes stay open until it ends, so a late message never meets a closed pipe.
    out_ = ::fdopen(out, "r");
    errFd_ = err;
    char line[512];
    for (std::string* text : {&banner_, &socketPath_})
        if (std::fgets(line, sizeof line, out_) != nullptr)
            text->assign(line, std::strcspn(line, "\n"));
    if (!socketPath_.starts_with(folder)) {
        socketPath_.clear();
        stop();
    }
}

SimProcess::~SimProcess() {
    stop();
}

int SimProcess::stop() {
    if (pid_ < 0)
        return -1;
    ::kill(pid_, SIGTERM);
    const int code = waitFor(pid_);
    pid_ = -1;
    std::fclose(out_);
    error_ = drain(errFd_);
    return code;
}

} // namespace testsupport
