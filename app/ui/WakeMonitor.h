#pragma once
// Notices that the machine woke from sleep: a timer that checks at a steady interval sees the
// wall clock jump by far more than that interval when the machine was suspended in between.

#include <QObject>
#include <QTimer>
#include <functional>

namespace quillet {

class WakeMonitor : public QObject {
    Q_OBJECT
public:
    static constexpr int kDefaultIntervalMs = 30000;

    // onWake runs on this thread after each wake; a gap of more than three intervals counts.
    explicit WakeMonitor(std::function<void()> onWake, int intervalMs = kDefaultIntervalMs,
                         QObject* parent = nullptr);

private:
    std::function<void()> _onWake;
    int _intervalMs;
    qint64 _lastCheckMs;
    QTimer _timer;
};

}  // namespace quillet
