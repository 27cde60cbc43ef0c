#pragma once
// The reference signature service on loopback, serving the HTML files of a folder of its own.

#include <QString>
#include <QTemporaryDir>
#include <memory>

#include "app/demo/service/SignatureService.h"

namespace quillet {

struct ServedSignatures {
    ServedSignatures();

    // Serves HTML under the key; the path of the file served, which `install --file` also takes.
    QString setSignature(const QString& key, const QString& html) const;
    QString serviceUrl() const { return QString::fromStdString(service->baseUrl()); }

    QTemporaryDir serviceFolder;
    std::unique_ptr<SignatureService> service;
};

}  // namespace quillet
