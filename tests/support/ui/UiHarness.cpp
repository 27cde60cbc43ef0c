#include "tests/support/ui/UiHarness.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTest>

#include "platform/EventLoop.h"
#include "tests/support/DataTable.h"

namespace quillet {

void Settle(int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    } while (timer.elapsed() < milliseconds);
}

void Click(QWidget* widget) {
    QTest::mouseClick(widget, Qt::LeftButton);
    Settle();
}

void PlayStory(const QString& path, const std::map<QString, StoryStep>& steps,
               const std::map<QString, StoryView>& views) {
    for (QStringList row : ReadDataTable(path)) {
        SCOPED_TRACE(row.join(" / ").toStdString());
        const QString verb = row.takeFirst();
        const auto shows = [&] { return views.at(row[0])() == row.value(1); };
        const QString seen = verb.startsWith("expect") ? views.at(row[0])() : QString();
        if (verb == "expect")
            EXPECT_EQ(seen.toStdString(), row.value(1).toStdString());
        else if (verb == "expect like")
            EXPECT_TRUE(QRegularExpression(row[1]).match(seen).hasMatch()) << seen.toStdString();
        else if (verb == "until")
            EXPECT_TRUE(RunEventLoopUntil(shows, 20));
        else if (verb == "until not")
            EXPECT_TRUE(RunEventLoopUntil([&] { return !shows(); }, 20));
        else if (verb == "wait")
            QTest::qWait(row[0].toInt());
        else
            steps.at(verb)(row);
        if (testing::Test::HasFatalFailure())
            return;
        if (!verb.startsWith("press"))
            Settle();
    }
}

QString TakeAlerts(ScriptedPrompter& prompter) {
    QStringList texts;
    for (const Alert& alert : prompter.shown())
        texts << QStringList{alert.title, alert.informativeText}.join(": ");
    prompter.clear();
    return texts.join(" ; ").replace("\n", "\\n");
}

}  // namespace quillet
