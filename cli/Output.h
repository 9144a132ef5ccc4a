// Everything brimwick-cli tells its user. Results go to stdout: text lines, or with
// --json one JSON object per line per event (start, progress, done, error, and the rows
// of the listing commands). Messages go to stderr. The progress bar (percent, bytes/s,
// time left) is drawn on stderr only when stderr is a terminal.
//
// Every call may come from any thread (--all runs one per programmer); a lock keeps
// each line whole.
#pragma once

#include "cli/ExitCodes.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

using Json = nlohmann::ordered_json;

class Output {
  public:
    Output(bool json, std::FILE* out, std::FILE* err, bool progressBar);

    bool json() const { return json_; }

    // A result: in JSON mode `event` (its "event" member first), else the line `text`
    // (nothing when it is empty).
    void result(const Json& event, std::string_view text);
    // A failure of the command, or of one programmer (`device` non-empty).
    void error(const std::string& device, ExitCode code, std::string_view message);
    // A remark for the person at the terminal, on stderr (also in JSON mode, whose
    // stdout carries only events).
    void note(std::string_view text);
    // A question on stderr, without a line end: the answer is typed after it.
    void ask(std::string_view text);

    // `done` of `total` bytes of `stage` (read, write, verify, erase, blank) on `device`,
    // in pass `pass` of `passes` when there are several ("read 2/3" in the bar, "pass"
    // in the event). JSON mode prints an event when the whole percent changes; the bar
    // sums every device.
    void progress(const std::string& device, std::string_view stage, uint64_t done, uint64_t total,
                  unsigned pass = 0, unsigned passes = 0);
    // Takes the bar off the terminal line.
    void endProgress();

  private:
    void writeLine(std::FILE* stream, const std::string& line);
    void drawBar();
    void clearBarLocked();

    struct Stage {
        uint64_t done = 0;
        uint64_t total = 0;
        int percent = -1;
        std::string stage;
    };

    const bool json_;
    std::FILE* const out_;
    std::FILE* const err_;
    const bool progressBar_;
    std::mutex lock_;
    std::map<std::string, Stage> stages_; // by device
    bool barShown_ = false;
    std::chrono::steady_clock::time_point barStart_{};
    std::chrono::steady_clock::time_point lastDraw_{};
    uint64_t barBase_ = 0; // bytes done before the current rate measurement began
};

// Bytes per second as text: "950 B/s", "1.2 MB/s".
std::string rateText(double bytesPerSecond);
// Seconds as "m:ss" ("--:--" when not known).
std::string durationText(double seconds);
// Text with its \r\n line ends (the window's boxes) turned into \n.
std::string plainText(std::string_view text);
