// quillet-preview: shows the HTML read from standard input until its end, for the application.
//   quillet-preview [--embed] [--title TITLE]
// It tells the application on standard output, a line each, once the page has loaded or could
// not be: "window ID" (its native window) and "loaded 1" or "loaded 0"; and later
// "open URL" for a link the person clicked (the application opens it; the preview follows none).
// With --embed its window has no frame of its own: the application puts it inside its panel.
// Otherwise it is a window of its own, and closing it ends the program. It ends with the
// application too.
#include <sys/prctl.h>
#include <QApplication>
#include <QFile>
#include <QUrl>
#include <csignal>
#include <cstdio>

#include "app/ui/preview/PreviewView.h"

namespace {

void Tell(const QByteArray& line) {
    std::fwrite(line.constData(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char* argv[]) {
    // A preview nobody can close any more is no use: it ends when the application does.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    QApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    const bool embed = arguments.contains("--embed");
    const qsizetype title = arguments.indexOf("--title");
    QFile input;
    if (!input.open(stdin, QIODevice::ReadOnly))
        return 1;
    const QByteArray html = input.readAll();

    quillet::PreviewView view([](const QUrl& url) { Tell("open " + url.toEncoded()); });
    if (title > 0 && title + 1 < arguments.size())
        view.setWindowTitle(arguments[title + 1]);
    view.resize(800, 500);
    if (embed) {
        // Out of sight until the application has put it in its panel.
        view.setWindowFlags(Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint);
        view.move(-10000, -10000);
    }
    // The window is told once the page has loaded: the web view makes the window anew, for the
    // graphics it renders with, when it starts rendering.
    QObject::connect(&view, &quillet::PreviewView::loaded, [&view](bool ok) {
        Tell("window " + QByteArray::number(static_cast<qulonglong>(view.winId())));
        Tell(ok ? "loaded 1" : "loaded 0");
    });
    view.show();
    view.load(html);
    return application.exec();
}
