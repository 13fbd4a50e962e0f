// main() for the GUI test executables: a QApplication on the offscreen platform unless the
// environment asks for another one, settings in a temporary folder, then every GoogleTest case.
#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdlib>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);  // 0: an explicit choice stays
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    // What the windows remember (recent projects, import settings, fonts) goes to a folder of
    // the run's own, never into the settings of whoever runs the tests.
    const QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
