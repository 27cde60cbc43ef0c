// quillet-sample-mac DIR: lays out a sample Mac in DIR (root/ and home/) with the five email
// clients, their accounts and a signature of the person's own in each, so that
// `quillet --root DIR/root --home DIR/home --bundle DIR/Resources clients` has something to find.
#include <QCoreApplication>
#include <cstdio>

#include "app/demo/SampleMac.h"

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: quillet-sample-mac DIR\n");
        return 2;
    }
    const quillet::FakeMac mac(QString::fromLocal8Bit(argv[1]));
    quillet::BuildSampleMac(mac);
    std::printf("%s\n", mac.folder().toUtf8().constData());
    return 0;
}
