// Prints how long the hex view takes to refresh and how long the program takes from
// start to a shown main window. Goals: refresh well under 1 ms, start-up under 300 ms.
#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/HexViewWidget.h"
#include "tests/support/SimProgrammer.h"
#include "tests/support/window/AppTestSupport.h"

namespace {

using Clock = std::chrono::steady_clock;

double microseconds(Clock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count();
}

void benchRefresh(CMainDlg& window, const char* label) {
    window.show();
    QApplication::processEvents();
    constexpr int kRounds = 2000;
    std::vector<double> samples;
    samples.reserve(kRounds);
    const uint32_t positions = static_cast<uint32_t>(window.hexView()->scrollBar()->maximum()) + 1;
    for (int i = 0; i < kRounds; ++i) {
        // Scroll by thumb so that every refresh writes new lines.
        const auto start = Clock::now();
        window.OnVScroll(SB_THUMBTRACK, static_cast<uint32_t>(i * 7919) % positions);
        samples.push_back(microseconds(Clock::now() - start));
        if (i % 100 == 0)
            QApplication::processEvents(); // let the list paint now and then
    }
    std::sort(samples.begin(), samples.end());
    std::printf("hex view refresh (%s, thumb scroll + refresh): median %.1f us, 99th %.1f us, "
                "max %.1f us over %d\n",
                label, samples[kRounds / 2], samples[kRounds * 99 / 100], samples.back(), kRounds);

    // Refresh plus the repaint of the 32 lines it causes.
    QElapsedTimer timer;
    timer.start();
    constexpr int kPaints = 200;
    for (int i = 0; i < kPaints; ++i) {
        window.OnVScroll(SB_THUMBTRACK, static_cast<uint32_t>(i * 31) % positions);
        window.hexView()->list()->viewport()->repaint();
    }
    std::printf("hex view refresh + repaint (%s): %.1f us each\n", label,
                timer.nsecsElapsed() / 1000.0 / kPaints);
}

void benchStartUp(const std::string& database, double applicationMs) {
    for (int round = 0; round < 3; ++round) {
        const auto start = Clock::now();
        CMainDlg window(Language::English, database);
        window.OnInitDialog({});
        window.show();
        // Shown: the window is exposed and has painted once.
        if (!QTest::qWaitForWindowExposed(&window, 5000))
            std::printf("window not exposed\n");
        QApplication::processEvents();
        const double windowMs = microseconds(Clock::now() - start) / 1000.0;
        std::printf("start-up to shown window (round %d): window %.1f ms, with the Qt "
                    "application %.1f ms\n",
                    round + 1, windowMs, windowMs + applicationMs);
    }
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const auto applicationStart = Clock::now();
    QApplication application(argc, argv);
    const double applicationMs = microseconds(Clock::now() - applicationStart) / 1000.0;
    RecordingSink boxes;
    testsupport::SimProgrammer programmer(
        nullptr, sim::FirmwareOptions{}); // start-up opens it as it would a real one

    auto started = startWindow(Language::English);
    benchRefresh(*started->window, "1 MiB chip");
    selectChip(*started->window, makeChip(ChipType::Flash25, "W25Q128", 0x1000000));
    benchRefresh(*started->window, "16 MiB chip");
    started->window->hide();

    benchStartUp(started->path("ChipInfo.chip"), applicationMs);
    return 0;
}
