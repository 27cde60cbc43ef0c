// The main of the widget tests: a QApplication (widgets, the web engine) and GoogleTest.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLocale>

#include "app/ui/PreviewSignatureController.h"

int main(int argc, char* argv[]) {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    quillet::RegisterPreviewScheme();
    QApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
