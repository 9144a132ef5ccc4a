// A private simulator folder for one test: BRIMWICK_SIM_DIR points at it while the
// test runs, so that only the test's own simulated programmers are found.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace simtest {

class ScopedSimFolder {
  public:
    ScopedSimFolder() {
        static int counter = 0;
        path_ = std::filesystem::temp_directory_path() /
                ("brimwick-simdir-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
        std::filesystem::remove_all(path_);
        ::setenv("BRIMWICK_SIM_DIR", path_.c_str(), 1);
    }
    ~ScopedSimFolder() {
        ::unsetenv("BRIMWICK_SIM_DIR");
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScopedSimFolder(const ScopedSimFolder&) = delete;
    ScopedSimFolder& operator=(const ScopedSimFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

} // namespace simtest
