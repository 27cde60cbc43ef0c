// The main of the widget tests: a QApplication and GoogleTest. The application's previews run the
// preview program of this build.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLocale>

int main(int argc, char* argv[]) {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    if (qEnvironmentVariableIsEmpty("QUILLET_PREVIEW_PROGRAM"))
        qputenv("QUILLET_PREVIEW_PROGRAM", QUILLET_PREVIEW_PATH);
    QApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
