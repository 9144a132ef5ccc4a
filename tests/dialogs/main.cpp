#include <QApplication>
#include <gtest/gtest.h>

#include <cstdlib>

// Qt is not built for ThreadSanitizer, so the locks of its thread pool are invisible to it:
// the image work Qt spreads over pooled threads while painting shows up as races inside Qt.
// The dialogs themselves run on one thread.
extern "C" const char* __tsan_default_suppressions() {
    return "race:libQt6Core.so.6\nrace:libQt6Gui.so.6\n";
}

int main(int argc, char** argv) {
    // Widgets run on the offscreen platform unless a display is asked for.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
