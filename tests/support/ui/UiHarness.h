#pragma once
// The engine over a fake Mac with the main window's controller around it; it is the window's
// delegate and user notifier too, and records what they were asked.

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <ostream>

#include "app/ui/MainControllerDelegate.h"
#include "app/ui/UserNotifier.h"
#include "tests/support/CommandBuild.h"
#include "tests/support/EngineHarness.h"

// Lists in failure messages as their texts.
inline void PrintTo(const QStringList& texts, std::ostream* out) {
    *out << '[' << texts.join(" | ").toStdString() << ']';
}

namespace quillet {

class MainController;
class StoreWatcher;

// The widget of that object name among the parent's children; a failure of the test if none.
template <typename T = QWidget>
T* Child(const QObject* parent, const QString& name) {
    T* found = parent->findChild<T*>(name);
    EXPECT_TRUE(found) << name.toStdString();
    return found;
}

// A left click, and what it set going on this turn of the event loop.
void Click(QWidget* widget);

// A story (tests/data/<path>), one step a row: the step's name and its cells, or "expect", a view
// and the text it shows ("expect like": a regular expression it matches), or "until" (or "until
// not") a view shows a text, within 20 s, or "wait" so many milliseconds. The event loop runs after
// each step but a "press…", which is the click alone.
using StoryStep = std::function<void(const QStringList& cells)>;
using StoryView = std::function<QString()>;
void PlayStory(const QString& path, const std::map<QString, StoryStep>& steps,
               const std::map<QString, StoryView>& views);

// The alerts shown since the last look, title and text; line feeds as "\\n".
QString TakeAlerts(ScriptedPrompter& prompter);

// A signature as a test describes it (by designated initializers); stored without a sync.
struct TestSignature {
    QString name = "Jane";
    bool active = true;
    QString key = "k1";
    QString filePath = {};
    QString fileName = {};
    QString mainText = "<p>Jane</p>";
    std::int64_t lastUpdate = 0;
    std::optional<ClientKind> client = ClientKind::thunderbird;
    QString accountEmail = "jane@x.org";  // empty: all accounts
};

class UiHarness : public EngineHarness, public MainControllerDelegate, public UserNotifier {
public:
    UiHarness();
    ~UiHarness();

    // Stores the signature and waits for the refresh the save starts.
    SignatureId addSignature(const TestSignature& description);
    // The real quillet command over the same Mac and service, answering yes.
    CommandRun quillet(const QStringList& arguments);
    // Thunderbird with one profile whose identity is jane@x.org, its account discovered; returns
    // the profile's prefs.js.
    QString installThunderbird();
    // Lets what the widgets started on this turn begin, then finishes the engine's work.
    void finishWork();
    // The main controller, created, shown and engaged on first use.
    MainController& main();
    // Lets the event loop run what is due (posted work, zero timers).
    static void settle(int milliseconds = 0);

    void checkForUpdates() override { ++updateChecks; }
    void terminate() override { ++terminations; }
    void deliver(const QString& title, const QString& informativeText) override {
        delivered << title + ": " + informativeText;
    }
    int updateChecks = 0;
    int terminations = 0;
    QStringList delivered;  // the user notifications, as "title: text"

private:
    std::unique_ptr<MainController> _main;
    std::unique_ptr<StoreWatcher> _watcher;
};

}  // namespace quillet
