#include "tests/support/ServedSignatures.h"

#include <gtest/gtest.h>

#include <QFile>

namespace quillet {

ServedSignatures::ServedSignatures()
    : service(std::make_unique<SignatureService>(SignatureServiceOptions{
          serviceFolder.path().toStdString(), "127.0.0.1", 0, [](const std::string&) {}})) {
    EXPECT_TRUE(service->start()) << service->error();
}

QString ServedSignatures::setSignature(const QString& key, const QString& html) const {
    const QString path = serviceFolder.path() + "/" + key + ".html";
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    file.write(html.toUtf8());
    return path;
}

}  // namespace quillet
