#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>

#include "app/ui/preview/PreviewView.h"
#include "tests/support/DataTable.h"

namespace quillet {
namespace {

// A script in the signature runs nothing, a text beyond what a data URL may carry loads, and a
// link goes out to the browser, not into the preview.
TEST(PreviewViewTest, RunsNoScriptLoadsALargeTextAndSendsLinksOut) {
    QStringList opened;
    PreviewView view([&](const QUrl& url) { opened << url.toString(); });
    view.resize(600, 400);
    view.show();
    const auto load = [&](const QString& html) {
        QSignalSpy loaded(&view, &PreviewView::loaded);
        view.load(html.toUtf8());
        return loaded.wait(60000) && loaded.front().front().toBool();
    };
    const auto pageHtml = [&] {
        QString html;
        bool done = false;
        view.webView()->page()->toHtml([&](const QString& text) {
            html = text;
            done = true;
        });
        EXPECT_TRUE(QTest::qWaitFor([&] { return done; }, 10000));
        return html;
    };
    ASSERT_TRUE(load(ReadDataText("ui/preview/script.html")));
    const QString html = pageHtml();
    EXPECT_TRUE(html.contains(">kept<")) << html.toStdString();
    EXPECT_FALSE(html.contains("changed<")) << html.toStdString();

    ASSERT_TRUE(load("<html><body><p>" + QString(2500 * 1024, 'x') + "</p></body></html>"));
    EXPECT_GT(pageHtml().size(), 2500 * 1024);

    ASSERT_TRUE(load(ReadDataText("ui/preview/link.html")));
    const QUrl before = view.webView()->url();
    QWidget* surface = view.webView()->focusProxy();
    ASSERT_TRUE(surface);
    // The page takes clicks once its renderer has laid it out; until then a click goes nowhere.
    for (int attempt = 0; attempt < 20 && opened.isEmpty(); ++attempt) {
        QTest::mouseClick(surface, Qt::LeftButton, {}, QPoint(50, 50));
        (void)QTest::qWaitFor([&] { return !opened.isEmpty(); }, 1000);
    }
    EXPECT_EQ(opened, QStringList{"https://example.org/x"});
    EXPECT_EQ(view.webView()->url(), before);
}

}  // namespace
}  // namespace quillet
