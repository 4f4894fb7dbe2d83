#include <QApplication>
#include <QStandardPaths>

#include <gtest/gtest.h>

// The dialogs need a QApplication; the platform is offscreen (set by ctest) and the
// standard locations point at test folders, never at the user's.
int main(int argc, char** argv) {
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
