#include "app/MainApp.h"
#include "tests/support/SimProgrammer.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    // Widgets run on the offscreen platform unless a display is asked for.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // A run of the language test for one build: Qt's locale is the build's, as in the program.
    if (const char* build = std::getenv("BRIMWICK_TEST_BUILD"))
        fixQtSystemLocale(std::string(build) == "zh" ? Language::Chinese : Language::English);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    // An empty socket, so that start-up finds a device and shows no device box.
    testsupport::SimProgrammer programmer(nullptr, sim::FirmwareOptions{});
    return RUN_ALL_TESTS();
}
