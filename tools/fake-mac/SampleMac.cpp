// quillet-sample-mac DIR: lays out a sample Mac in DIR (root/ and home/) with the five email
// clients installed, so that `quillet --root DIR/root --home DIR/home clients` has something to
// find.
#include <QCoreApplication>
#include <cstdio>

#include "tests/support/FakeMac.h"

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: quillet-sample-mac DIR\n");
        return 2;
    }
    const quillet::FakeMac mac(QString::fromLocal8Bit(argv[1]));
    using quillet::ClientKind;
    mac.installApplication("/System/Applications", "Mail.app", "com.apple.mail", "16.0",
                           "3774.500.171");
    mac.addAppleMailData("V10");
    mac.installClient(ClientKind::outlook, "16.78", "16.78.23121017");
    mac.setDefaults("com.microsoft.Outlook", "IsRunningNewOutlook", "0");
    mac.installClient(ClientKind::postbox, "7.0.60");
    mac.addMozillaProfile(ClientKind::postbox, "m1x2.default");
    mac.installClient(ClientKind::spark, "3.9.2", "3.9.2.61213");
    mac.installClient(ClientKind::thunderbird, "128.5.0", "12824.11.27");
    mac.addMozillaProfile(ClientKind::thunderbird, "t7q1.default");
    std::printf("%s\n", mac.folder().toUtf8().constData());
    return 0;
}
