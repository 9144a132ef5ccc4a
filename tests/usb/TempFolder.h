// A fresh folder under /tmp, removed with everything in it at the end of the test.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

namespace usbtest {

class TempFolder {
  public:
    TempFolder() {
        // Short: socket paths must fit in sockaddr_un.
        char name[] = "/tmp/bwusbXXXXXX";
        if (char* made = ::mkdtemp(name))
            path_ = made;
    }
    ~TempFolder() {
        std::error_code ignored;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

} // namespace usbtest
