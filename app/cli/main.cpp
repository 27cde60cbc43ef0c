#include <QCoreApplication>

#include "app/cli/Quillet.h"

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    return quillet::RunQuilletCommand(QCoreApplication::arguments().mid(1));
}
