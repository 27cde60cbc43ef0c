#include "app/ui/DesktopWorkspace.h"

#include <QProcess>

namespace quillet {

bool DesktopWorkspace::openUrl(const QUrl& url) {
    // xdg-open finds the desktop's handler, and its exit status says whether one took the URL
    // (it may also stay until the browser it started ends).
    auto* opener = new QProcess(&_openers);
    opener->setProgram("xdg-open");
    opener->setArguments({url.toString(QUrl::FullyEncoded)});
    opener->setStandardOutputFile(QProcess::nullDevice());
    opener->setStandardErrorFile(QProcess::nullDevice());
    QObject::connect(opener, &QProcess::finished, opener,
                     [this, opener, url](int exitCode, QProcess::ExitStatus status) {
                         opener->deleteLater();
                         if ((status != QProcess::NormalExit || exitCode != 0) && _notOpened)
                             _notOpened(url);
                     });
    opener->start();
    if (!opener->waitForStarted()) {
        delete opener;
        return false;
    }
    return true;
}

}  // namespace quillet
