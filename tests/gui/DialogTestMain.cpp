#include <QApplication>
#include <QtGlobal>
#include <QStandardPaths>

#include <gtest/gtest.h>

// The dialogs need a QApplication. The platform is offscreen unless the caller chose one
// (the build lists the tests without a display), and the standard locations point at test
// folders, never at the user's.
int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
