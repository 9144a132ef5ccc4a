// Helpers shared by the buffer tests: a message-box recorder, a temporary folder with
// real files, a buffer that shows every byte a load sets, records built the way other
// tools write them, and those tools themselves.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "buffer/DataBuffer.h"
#include "res/MessageBox.h"

// Records every box shown while it is installed.
class RecordingSink : public MessageBoxSink {
  public:
    RecordingSink() { previous_ = setMessageBoxSink(this); }
    ~RecordingSink() override { setMessageBoxSink(previous_); }
    BoxResult show(BoxStyle, std::string_view text) override {
        shown.emplace_back(text);
        return BoxResult::Ok;
    }
    std::vector<std::string> shown;

  private:
    MessageBoxSink* previous_ = nullptr;
};

// A fresh folder under the system's temporary folder, removed with its files.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    // Writes `bytes` to `name` in this folder and returns the full path.
    std::string write(const std::string& name, const std::string& bytes) const;
    std::string write(const std::string& name, const std::vector<uint8_t>& bytes) const;

  private:
    std::string path_;
};

std::vector<uint8_t> readWholeFile(const std::string& path);
std::vector<uint8_t> patternBytes(size_t n, uint8_t seed = 0);

// A buffer whose first 64 KiB hold a pattern no load writes, so that any byte a load
// sets (or wrongly leaves) shows.
struct PatternBuffer {
    DataBuffer buffer;
    PatternBuffer();
    std::vector<uint8_t> head(size_t n = 0x10000) const {
        return std::vector<uint8_t>(buffer.store(), buffer.store() + n);
    }
};

// One Intel HEX record ":LLAAAATT<data>CC" with a correct checksum, uppercase.
std::string hexRecord(uint16_t address, uint8_t type, const std::vector<uint8_t>& data);
inline const char* kHexEnd = ":00000001FF\n";
// Data records of `perRecord` bytes for `data` from `address` on, each followed by
// `lineEnd`, then the end record.
std::string hexFile(uint16_t address, const std::vector<uint8_t>& data, size_t perRecord,
                    const std::string& lineEnd);
// One S-record "S<type><count><address><data><checksum>" and a line end.
std::string sRecord(int type, uint32_t address, const std::vector<uint8_t>& data);

// Runs a shell command line (objcopy, srec_cat); true when it exits with 0.
bool runTool(const std::string& commandLine);
