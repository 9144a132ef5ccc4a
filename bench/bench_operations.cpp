// Read, Write and Verify of a 4 MiB chip from the shown main window against the
// simulated programmer at the full-speed USB data rate, as a share of the time the
// bytes alone need on the link; and Verify of a 16 MiB chip with no pacing at all.
// Each command first asks the socket for the chip's IDs, as every command on a 25 FLASH
// chip with IDs does: the figures include that check.
// Prints a table; asserts nothing.
#include "tests/support/SimProgrammer.h"
#include "tests/support/window/AppTestSupport.h"

#include "sim/ProgrammerFirmware.h"
#include "sim/SimServer.h"

#include <QApplication>
#include <QLineEdit>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kRate = 1'216'000;
constexpr uint32_t kChip = 4 * 1024 * 1024;
constexpr uint32_t kLargest = 16 * 1024 * 1024;
constexpr int kRuns = 3;

struct Bench {
    testsupport::SimFolder folder;
    RecordingSink boxes;
    std::unique_ptr<sim::ProgrammerFirmware> firmware;
    std::unique_ptr<sim::SimServer> server;
    std::unique_ptr<StartedWindow> started;

    Bench(const ChipInfo& chip, uint32_t rate) {
        sim::FirmwareOptions options;
        options.pacing.bytesPerSecond = rate;
        firmware = std::make_unique<sim::ProgrammerFirmware>(&chip, options);
        server = std::make_unique<sim::SimServer>(*firmware);
        std::string error;
        if (!server->start(&error)) {
            std::fprintf(stderr, "simulated programmer: %s\n", error.c_str());
            std::exit(1);
        }
        started = startWindow(Language::English, {standardChips()[0], chip});
        selectChip(*started->window, chip);
        started->window->show();
        QApplication::processEvents();
    }

    // Seconds the command took, or a negative value when it did not end in `done`.
    double run(unsigned id, const char* done) {
        CMainDlg& window = *started->window;
        const auto begin = std::chrono::steady_clock::now();
        window.runCommand(id);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        const bool ok = window.statusEdit()->text().toStdString() == done && boxes.boxes.empty();
        boxes.boxes.clear();
        return ok ? seconds : -1.0;
    }
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);

    const ChipInfo chip = makeChip(ChipType::Flash25, "BENCH25", kChip, 1, 256, 0xEF, 0x16);
    const double linkSeconds = static_cast<double>(kChip) / kRate;
    std::printf("Device commands, 4 MiB chip, simulated programmer at %u bytes/s\n", kRate);
    std::printf("link time for the chip's bytes alone: %.3f s; median of %d runs\n\n", linkSeconds,
                kRuns);
    std::printf("%-8s %10s %12s %8s\n", "command", "seconds", "link share", "goal");
    {
        Bench bench(chip, kRate);
        struct Row {
            const char* name;
            unsigned id;
            const char* done;
            double goal;
        };
        const Row rows[] = {{"Read", IdRead, "Read Successfully", 99.0},
                            {"Write", IdWrite, "Write Successfully", 99.0},
                            {"Verify", IdVerify, "Verify Successfully", 96.0}};
        for (const Row& row : rows) {
            std::vector<double> times;
            for (int i = 0; i < kRuns; ++i)
                times.push_back(bench.run(row.id, row.done));
            if (*std::min_element(times.begin(), times.end()) < 0) {
                std::printf("%-8s failed\n", row.name);
                continue;
            }
            const double seconds = median(times);
            const double share = 100.0 * linkSeconds / seconds;
            std::printf("%-8s %10.3f %11.1f%% %7s%s\n", row.name, seconds, share,
                        (">=" + std::to_string(static_cast<int>(row.goal)) + "%").c_str(),
                        share >= row.goal ? "" : "  MISSED");
        }
    }

    const ChipInfo largest = makeChip(ChipType::Flash25, "BIG25", kLargest, 1, 256, 0xEF, 0x18);
    Bench bench(largest, 0);
    std::vector<double> times;
    for (int i = 0; i < kRuns; ++i)
        times.push_back(bench.run(IdVerify, "Verify Successfully"));
    if (*std::min_element(times.begin(), times.end()) < 0) {
        std::printf("\nVerify 16 MiB unpaced failed\n");
        return 0;
    }
    const double seconds = median(times);
    std::printf("\nVerify of a 16 MiB chip, unpaced: %.3f s (goal <= 0.5 s)%s\n", seconds,
                seconds <= 0.5 ? "" : "  MISSED");
    return 0;
}
