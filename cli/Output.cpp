#include "cli/Output.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kBarWidth = 30;
// The terminal is redrawn at most this often, so a fast link is not slowed by it.
constexpr auto kBarRedraw = std::chrono::milliseconds(100);

// Chip names, manufacturers and file names may hold bytes that are not UTF-8 (a
// database edited elsewhere): they become U+FFFD instead of ending the program.
std::string jsonLine(const Json& event) {
    return event.dump(-1, ' ', false, Json::error_handler_t::replace);
}

} // namespace

std::string rateText(double bytesPerSecond) {
    char text[32];
    if (bytesPerSecond >= 1e6) {
        std::snprintf(text, sizeof text, "%.1f MB/s", bytesPerSecond / 1e6);
    } else if (bytesPerSecond >= 1e3) {
        std::snprintf(text, sizeof text, "%.1f kB/s", bytesPerSecond / 1e3);
    } else {
        std::snprintf(text, sizeof text, "%.0f B/s", std::max(bytesPerSecond, 0.0));
    }
    return text;
}

std::string durationText(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0 || seconds > 359999) {
        return "--:--";
    }
    const auto whole = static_cast<long>(std::lround(seconds));
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    return text;
}

std::string plainText(std::string_view text) {
    std::string plain;
    plain.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            continue;
        }
        plain.push_back(text[i]);
    }
    return plain;
}

Output::Output(bool json, std::FILE* out, std::FILE* err, bool progressBar)
    : json_(json), out_(out), err_(err), progressBar_(progressBar) {}

void Output::writeLine(std::FILE* stream, const std::string& line) {
    clearBarLocked();
    std::fputs(line.c_str(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

void Output::result(const Json& event, std::string_view text) {
    std::lock_guard guard(lock_);
    if (json_) {
        writeLine(out_, jsonLine(event));
    } else if (!text.empty()) {
        writeLine(out_, std::string(text));
    }
}

void Output::error(const std::string& device, ExitCode code, std::string_view message) {
    std::lock_guard guard(lock_);
    const std::string text = plainText(message);
    if (json_) {
        Json event{{"event", "error"}};
        if (!device.empty()) {
            event["device"] = device;
        }
        event["code"] = exitValue(code);
        event["message"] = text;
        writeLine(out_, jsonLine(event));
    }
    // Messages go to stderr in JSON mode too: a person watching a script still reads them.
    writeLine(err_, "brimwick-cli: " + (device.empty() ? "" : device + ": ") + text);
}

void Output::note(std::string_view text) {
    std::lock_guard guard(lock_);
    writeLine(err_, plainText(text));
}

void Output::ask(std::string_view text) {
    std::lock_guard guard(lock_);
    clearBarLocked();
    std::fputs(plainText(text).c_str(), err_);
    std::fflush(err_);
}

void Output::progress(const std::string& device, std::string_view stage, uint64_t done,
                      uint64_t total, unsigned pass, unsigned passes) {
    std::lock_guard guard(lock_);
    Stage& entry = stages_[device];
    std::string label(stage);
    if (passes > 1) {
        label += " " + std::to_string(pass) + "/" + std::to_string(passes);
    }
    if (entry.stage != label) {
        entry = Stage{};
        entry.stage = label;
    }
    entry.done = std::min(done, total);
    entry.total = total;
    const int percent = total == 0 ? 100 : static_cast<int>(entry.done * 100 / total);
    if (json_ && percent != entry.percent) {
        Json event{{"event", "progress"}};
        if (!device.empty()) {
            event["device"] = device;
        }
        event["stage"] = std::string(stage);
        if (passes > 1) {
            event["pass"] = pass;
        }
        event["done"] = entry.done;
        event["total"] = total;
        const std::string line = jsonLine(event);
        std::fputs(line.c_str(), out_);
        std::fputc('\n', out_);
        std::fflush(out_);
    }
    entry.percent = percent;
    if (progressBar_) {
        drawBar();
    }
}

void Output::drawBar() {
    const auto now = std::chrono::steady_clock::now();
    uint64_t done = 0;
    uint64_t total = 0;
    std::string stage;
    for (const auto& [device, entry] : stages_) {
        done += entry.done;
        total += entry.total;
        stage = entry.stage;
    }
    if (!barShown_) {
        barShown_ = true;
        barStart_ = now;
        barBase_ = done;
    } else if (now - lastDraw_ < kBarRedraw && done < total) {
        return;
    }
    lastDraw_ = now;
    const double seconds = std::chrono::duration<double>(now - barStart_).count();
    const double rate =
        seconds > 0 ? static_cast<double>(done - std::min(done, barBase_)) / seconds : 0.0;
    const double left = rate > 0 ? static_cast<double>(total - done) / rate : -1.0;
    const int percent = total == 0 ? 100 : static_cast<int>(done * 100 / total);
    const int filled = percent * kBarWidth / 100;
    std::string bar(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(kBarWidth - filled), '.');
    std::fprintf(err_, "\r%-7s [%s] %3d%%  %10s  %s left ", stage.c_str(), bar.c_str(), percent,
                 rateText(rate).c_str(), durationText(left).c_str());
    std::fflush(err_);
}

void Output::clearBarLocked() {
    if (barShown_) {
        std::fprintf(err_, "\r%*s\r", 80, "");
        std::fflush(err_);
        barShown_ = false;
    }
}

void Output::endProgress() {
    std::lock_guard guard(lock_);
    clearBarLocked();
    stages_.clear();
}
