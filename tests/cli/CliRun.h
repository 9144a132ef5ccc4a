// brimwick-cli run as a process, with its JSON lines parsed back.
#pragma once

#include "tests/support/ProgramProcess.h"

#include <nlohmann/json.hpp>

#include <sstream>

namespace clitest {

using testsupport::ProgramRun;

inline ProgramRun runCli(const std::vector<std::string>& args,
                         const std::vector<std::string>& env = {}) {
    return testsupport::runProgram(BRIMWICK_CLI_PROGRAM, args, env);
}

// Every stdout line parsed as JSON; a line that is not JSON fails the parse.
inline std::vector<nlohmann::json> events(const ProgramRun& run) {
    std::vector<nlohmann::json> parsed;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) {
        parsed.push_back(nlohmann::json::parse(line));
    }
    return parsed;
}

} // namespace clitest
