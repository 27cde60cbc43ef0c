#pragma once
// The main window: holds the main controller, is at least big enough for a 1000 × 700 content
// area, keeps its frame in the user preferences under "Main", and hides instead of closing.

#include <QSettings>
#include <QWidget>

namespace quillet {

class MainWindow : public QWidget {
    Q_OBJECT
public:
    static inline const QString kAutosaveName = "Main";
    static constexpr QSize kMinimumContentSize{1000, 700};

    // preferences: where the frame is kept; content becomes the window's only child.
    MainWindow(QSettings& preferences, QWidget* content);

    // Brings the window forward and gives it the keyboard focus.
    void showWindow();
    // Orders the window out; it is never closed or released.
    void hideWindow();
    bool isVisibleAndKey() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // A frame narrower or lower than the minimum becomes the minimum, centred.
    void applyMinimumSizeRule();
    void centre();
    void saveFrame();

    QSettings& _preferences;
    bool _restoring = true;
};

}  // namespace quillet
