// quillet-webmail-host: the program the browsers start for the web-mail extension (native
// messaging on standard input and output), and its install step:
//   quillet-webmail-host --install [--profile DIR]   registers the host for the user's browsers
//                                                   (or only the Chromium profile DIR)
// Any other arguments (the browsers pass the extension's origin or manifest path) run the host.
// Standard output carries nothing but messages; the log echo goes to standard error.

#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <thread>

#include "common/Log.h"
#include "extension/native/HostInstall.h"
#include "extension/native/HostSession.h"
#include "extension/native/NativeMessaging.h"
#include "platform/EventLoop.h"
#include "platform/QtMainQueue.h"

using namespace quillet;
using namespace quillet::web;

namespace {

int Install(const QStringList& arguments, const Paths& paths) {
    const int profileAt = arguments.indexOf("--profile");
    const QString profile = profileAt >= 0 ? arguments.value(profileAt + 1) : QString();
    if (profileAt >= 0 && profile.isEmpty()) {
        std::fprintf(stderr, "quillet-webmail-host: --profile needs a folder\n");
        return 2;
    }
    const QString program = QFileInfo(QCoreApplication::applicationFilePath()).absoluteFilePath();
    const InstallResult result = InstallHostManifests(HostManifestTargets(paths, profile), program);
    for (const QString& path : result.written)
        std::printf("%s\n", path.toUtf8().constData());
    if (result.error) {
        std::fprintf(stderr, "quillet-webmail-host: %s\n", result.error->toUtf8().constData());
        return 1;
    }
    return 0;
}

int RunHost(const Paths& paths) {
    // The browser may close the connection while an answer is being written.
    signal(SIGPIPE, SIG_IGN);
    const QString bundlePath = Bundle::locate();
    auto bundle = Bundle::open(bundlePath);
    if (!bundle) {
        std::fprintf(stderr, "quillet-webmail-host: cannot read the resources at %s\n",
                     bundlePath.toUtf8().constData());
        return 1;
    }
    QtMainQueue mainQueue;
    NotificationCenter notificationCenter;
    const Environment environment{paths, mainQueue, notificationCenter, *bundle};
    Core::Options options;
    options.console = StandardErrorConsole();
    auto created = Core::create(environment, options);
    if (!created) {
        std::fprintf(stderr, "quillet-webmail-host: %s\n", created.error().toUtf8().constData());
        return 1;
    }
    std::unique_ptr<Core> core = std::move(*created);
    HostSession session(*core, [](const nlohmann::json& message) {
        if (!WriteNativeMessage(STDOUT_FILENO, message))
            LogWarning("Host: the browser closed the connection before the answer");
    });

    std::atomic<bool> inputEnded = false;
    std::thread reader([&] {
        for (;;) {
            NativeFrame frame = ReadNativeFrame(STDIN_FILENO);
            if (frame.status == FrameStatus::tooDeep) {
                LogError("Host: refused a message nested too deeply");
                mainQueue.post([&session] { session.answer(TooDeepAnswer()); });
                continue;
            }
            if (frame.status != FrameStatus::message) {
                if (frame.status == FrameStatus::malformed)
                    LogError("Host: malformed message from the browser; closing");
                break;
            }
            mainQueue.post([&session, message = std::move(frame.message)] {
                session.messageReceived(message);
            });
        }
        mainQueue.post([&inputEnded] { inputEnded = true; });
    });
    RunEventLoopUntil([&] {
        session.finishIfIdle();
        return inputEnded && session.isIdle();
    });
    reader.join();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments().mid(1);
    const Paths paths = Paths::fromEnvironment();
    if (arguments.contains("--install"))
        return Install(arguments, paths);
    return RunHost(paths);
}
