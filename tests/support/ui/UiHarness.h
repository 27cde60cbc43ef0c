#pragma once
// What the widget tests share, over the engine harness: finding and clicking widgets, playing a
// story, reading the alerts.

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <map>

#include "tests/support/EngineHarness.h"
#include "tests/support/TestHelpers.h"

namespace quillet {

// The widget of that object name among the parent's children; a failure of the test if none.
template <typename T = QWidget>
T* Child(const QObject* parent, const QString& name) {
    T* found = parent->findChild<T*>(name);
    EXPECT_TRUE(found) << name.toStdString();
    return found;
}

// Lets the event loop run what is due (posted work, zero timers).
void Settle(int milliseconds = 0);

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

}  // namespace quillet
