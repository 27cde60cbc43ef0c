#include "platform/QtMainQueue.h"

#include <QDateTime>
#include <QThread>
#include <QTimer>

namespace quillet {

QtMainQueue::QtMainQueue() : _context(new QObject) {}

QtMainQueue::~QtMainQueue() {
    delete _context;
}

void QtMainQueue::post(std::function<void()> fn) {
    QMetaObject::invokeMethod(_context, std::move(fn), Qt::QueuedConnection);
}

void QtMainQueue::postAfter(double seconds, std::function<void()> fn) {
    const auto milliseconds = static_cast<int>(std::max(0.0, seconds) * 1000.0);
    QTimer::singleShot(milliseconds, _context, std::move(fn));
}

void QtMainQueue::runOnMainAndWait(std::function<void()> fn) {
    if (QThread::currentThread() == _context->thread()) {
        fn();
        return;
    }
    QMetaObject::invokeMethod(_context, std::move(fn), Qt::BlockingQueuedConnection);
}

double QtMainQueue::now() const {
    return static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
}

}  // namespace quillet
