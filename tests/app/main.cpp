#include "PluggedProgrammer.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    // Widgets run on the offscreen platform unless a display is asked for.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    PluggedProgrammer programmer;
    return RUN_ALL_TESTS();
}
