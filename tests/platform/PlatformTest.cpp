#include <gtest/gtest.h>

#include <QDir>
#include <atomic>
#include <thread>

#include "platform/EventLoop.h"
#include "platform/ManualMainQueue.h"
#include "platform/Paths.h"
#include "platform/QtMainQueue.h"
#include "platform/TerminalPrompter.h"

namespace quillet {
namespace {

// The options win over the environment, and TMPDIR (the user's own folder on a Mac) over the
// shared ROOT/tmp.
TEST(Paths, OptionsWinOverTheEnvironmentAndTheUsersTemporaryFolderOverTheSharedOne) {
    const QByteArray savedTemporary = qgetenv("TMPDIR");
    qunsetenv("TMPDIR");
    qputenv("QUILLET_HOME", "/env/home");
    qputenv("QUILLET_ROOT", "/env/root");
    EXPECT_EQ(Paths::fromEnvironment().home(), "/env/home");
    EXPECT_EQ(Paths::fromEnvironment("/opt/home", "/opt/root").root(), "/opt/root");
    qunsetenv("QUILLET_HOME");
    qunsetenv("QUILLET_ROOT");
    EXPECT_EQ(Paths::fromEnvironment().home(), QDir::homePath());
    EXPECT_EQ(Paths::fromEnvironment({}, "/t/root").temporary(), "/t/root/tmp");
    qputenv("TMPDIR", "/private/var/folders/xy/T/");
    EXPECT_EQ(Paths::fromEnvironment({}, "/t/root").temporary(), "/private/var/folders/xy/T");
    savedTemporary.isNull() ? qunsetenv("TMPDIR") : qputenv("TMPDIR", savedTemporary);
}

// The engine's timers (two hours, five minutes) are tested on this clock: due work runs in order,
// each at its own time, and the work it posts for now before the next.
TEST(ManualMainQueue, AdvanceRunsDueWorkInOrderAtItsOwnTime) {
    ManualMainQueue queue(1000.0);
    std::vector<std::pair<QString, double>> ran;
    queue.postAfter(7200, [&] { ran.push_back({"two hours", queue.now()}); });
    queue.postAfter(300, [&] {
        ran.push_back({"five minutes", queue.now()});
        queue.post([&] { ran.push_back({"next turn", queue.now()}); });
        queue.postAfter(1, [&] { ran.push_back({"a second later", queue.now()}); });
    });
    queue.advance(299);
    EXPECT_TRUE(ran.empty());
    queue.advance(7201);
    EXPECT_EQ(ran, (std::vector<std::pair<QString, double>>{{"five minutes", 1300.0},
                                                            {"next turn", 1300.0},
                                                            {"a second later", 1301.0},
                                                            {"two hours", 8200.0}}));
    EXPECT_EQ(queue.now(), 8500.0);
}

// A posted piece of work and what it holds go away on the main thread, the one that ran it, never
// on the thread that posted it, whichever lets go first.
TEST(QtMainQueue, WorkPostedFromAnotherThreadRunsAndIsDestroyedOnTheMainThread) {
    QtMainQueue queue;
    const auto mainThread = std::this_thread::get_id();
    std::atomic<int> ran{0}, destroyed{0}, offMainThread{0};
    const auto note = [&](std::atomic<int>& count) {
        offMainThread += std::this_thread::get_id() != mainThread;
        ++count;
    };
    constexpr int kPosts = 500;
    std::thread worker([&] {
        for (int i = 0; i < kPosts; ++i) {
            std::shared_ptr<int> held(new int(i), [&](int* value) {
                note(destroyed);
                delete value;
            });
            queue.post([&, held = std::move(held)] { note(ran); });
        }
    });
    EXPECT_TRUE(RunEventLoopUntil([&] { return destroyed == kPosts; }, 10));
    worker.join();
    EXPECT_EQ(ran, kPosts);
    EXPECT_EQ(offMainThread, 0);
}

// A question that comes back gets the last button under --yes, or it would loop for ever; asked
// at a terminal, an answer that is no button is asked again, and the end of the input takes the
// last button.
TEST(Prompters, TerminalPrompterNeverLoopsAndReadsTheChoice) {
    char* buffer = nullptr;
    size_t size = 0;
    FILE* output = open_memstream(&buffer, &size);
    FILE* input = fmemopen(const_cast<char*>("9\n1\n"), 4, "r");
    {
        TerminalPrompter yes(TerminalPrompter::Policy::firstButton, false, stdin, output);
        const Alert retry{AlertStyle::critical, "Could not fetch", "", {"Retry", "Cancel"}, {}};
        EXPECT_EQ(yes.ask(retry).button, "Retry");
        EXPECT_EQ(yes.ask(retry).button, "Cancel");
        const Alert close{AlertStyle::warning, "Close", "", {"OK", "Later"}, QString("Re-open")};
        TerminalPrompter asked(TerminalPrompter::Policy::ask, true, input, output);
        const Answer answer = asked.ask(close);
        EXPECT_EQ(answer.button, "OK");
        EXPECT_TRUE(answer.checkboxOn);
        EXPECT_EQ(asked.ask(close).button, "Later");
        std::fflush(output);
        EXPECT_TRUE(QString::fromUtf8(buffer, static_cast<qsizetype>(size))
                        .endsWith("Close\n  1) OK\n  2) Later\nChoose 1-2: -> Later\n"));
    }
    std::fclose(input);
    std::fclose(output);
    std::free(buffer);
}

}  // namespace
}  // namespace quillet
