// A private folder under /tmp, removed with everything in it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    // Writes `bytes` to `name` in this folder; returns the file's path.
    std::string write(const std::string& name, std::string_view bytes) const;
    // Names in the folder, sorted.
    std::vector<std::string> entries() const;

  private:
    std::string path_;
};

// Whole files as byte strings; a missing file reads as empty.
std::string readFile(const std::string& path);
void writeFile(const std::string& path, std::string_view bytes);
