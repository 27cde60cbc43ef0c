#include "app/demo/FakeMacAppleMail.h"

#include <QDir>
#include <QFileInfo>

namespace quillet {

FakeAppleMailFiles::FakeAppleMailFiles(const FakeMac& mac, const QString& version)
    : dataFolder(mac.addAppleMailData(version)),
      signaturesFolder(dataFolder + "/Signatures"),
      accountsMap(signaturesFolder + "/AccountsMap.plist"),
      allSignatures(signaturesFolder + "/AllSignatures.plist"),
      cloudFolder(mac.paths().userLibrary() +
                  "/Mobile Documents/com~apple~mail/Data/V4/Signatures"),
      cloudAllSignatures(cloudFolder + "/AllSignatures.plist"),
      preferences(mac.paths().userLibrary() +
                  "/Containers/com.apple.mail/Data/Library/Preferences/com.apple.mail.plist"),
      cacheFolder(mac.paths().userLibrary() +
                  "/Containers/com.apple.mail/Data/Library/Caches/com.apple.mail") {}

QString FakeAppleMailFiles::signatureFile(const QString& uuidText) const {
    return signaturesFolder + "/" + uuidText + ".mailsignature";
}

QString FakeAppleMailFiles::cloudSignatureFile(const QString& uuidText) const {
    return cloudFolder + "/" + uuidText + ".mailsignature";
}

void WriteFakePlist(const QString& path, const QString& xmlBody, bool binary) {
    const QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n" +
                           xmlBody.toUtf8() + "\n</plist>\n";
    QDir().mkpath(QFileInfo(path).absolutePath());
    const auto plist = Plist::parse(xml);
    if (plist)
        WritePlistFile(path, *plist, binary);
}

}  // namespace quillet
