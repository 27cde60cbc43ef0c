#pragma once
// The main queue of the programs: Qt's event loop of the thread that created it, wall-clock time.

#include <QObject>

#include "platform/MainQueue.h"

namespace quillet {

class QtMainQueue : public MainQueue {
public:
    QtMainQueue();
    ~QtMainQueue() override;

    void post(std::function<void()> fn) override;
    void postAfter(double seconds, std::function<void()> fn) override;
    void runOnMainAndWait(std::function<void()> fn) override;
    double now() const override;

protected:
    QObject* context() const { return _context; }

private:
    QObject* _context;  // lives on the main thread; work posted to it dies with the queue
};

}  // namespace quillet
