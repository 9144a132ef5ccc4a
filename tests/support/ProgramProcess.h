// brimwick-cli and brimwick-sim run as real processes.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace testsupport {

struct ProgramRun {
    int code = -1; // the exit code; 128 + the signal when one ended it
    std::string out;
    std::string err;
};

// Called with each line of stdout (without its line end) as soon as it arrives.
using LineWatcher = std::function<void(const std::string& line)>;

// Runs `program` with `args` (stdin /dev/null) until it ends. `env` entries
// ("NAME=value") replace those of this process. `pid` (when given) receives the
// child's id as soon as it runs, so another thread may signal it.
ProgramRun runProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::vector<std::string>& env = {}, std::atomic<pid_t>* pid = nullptr,
                      const LineWatcher& watcher = {});

// A brimwick-sim process plugged into `folder` (its BRIMWICK_SIM_DIR) with `args`,
// unplugged (SIGTERM, the chip image written back) when the object ends.
class SimProcess {
  public:
    SimProcess(const std::string& program, const std::string& folder,
               const std::vector<std::string>& args);
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // Empty when the simulator did not start.
    const std::string& socketPath() const { return socketPath_; }
    // Its first line: what it simulates.
    const std::string& banner() const { return banner_; }
    // What it wrote to stderr, once it has stopped.
    const std::string& error() const { return error_; }
    // Unplugs now; the exit code.
    int stop();

  private:
    pid_t pid_ = -1;
    FILE* out_ = nullptr;
    int errFd_ = -1;
    std::string banner_, socketPath_, error_;
};

} // namespace testsupport
