#include "platform/QtMainQueue.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QEvent>
#include <QThread>
#include <QTimer>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

namespace quillet {

namespace {

QEvent::Type WorkEventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

// Work from any thread waits in a queue of our own under a lock; an event per piece tells the
// main thread to run the next one. The event is made before the lock is taken and read only
// under it, so everything the two threads share is ordered by that lock, never by Qt's internal
// hand-over of posted events (whose reference counts and locks ThreadSanitizer cannot see). The
// work is destroyed where it ran, on the main thread.
class WorkContext : public QObject {
public:
    void add(std::function<void()> work) {
        auto* event = new QEvent(WorkEventType());
        {
            std::lock_guard guard(_lock);
            _work.push_back(std::move(work));
        }
        QCoreApplication::postEvent(this, event);
    }

protected:
    bool event(QEvent* event) override {
        std::function<void()> next;
        {
            std::lock_guard guard(_lock);
            if (event->type() == WorkEventType() && !_work.empty()) {
                next = std::move(_work.front());
                _work.pop_front();
            }
        }
        if (!next)
            return QObject::event(event);
        next();
        return true;
    }

private:
    std::mutex _lock;
    std::deque<std::function<void()>> _work;
};

}  // namespace

QtMainQueue::QtMainQueue() : _context(new WorkContext) {}

QtMainQueue::~QtMainQueue() {
    delete _context;
}

void QtMainQueue::post(std::function<void()> fn) {
    static_cast<WorkContext*>(_context)->add(std::move(fn));
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
    struct Handover {
        std::mutex lock;
        std::condition_variable changed;
        bool over = false;
    };
    // Set when the posted work goes away on the main thread: after it ran, or unrun when the
    // queue is destroyed first, which must not leave this thread waiting for ever.
    struct EndsTheWait {
        explicit EndsTheWait(std::shared_ptr<Handover> h) : handover(std::move(h)) {}
        EndsTheWait(const EndsTheWait&) = delete;
        EndsTheWait& operator=(const EndsTheWait&) = delete;
        ~EndsTheWait() {
            {
                std::lock_guard guard(handover->lock);
                handover->over = true;
            }
            handover->changed.notify_all();
        }
        std::shared_ptr<Handover> handover;
    };
    auto handover = std::make_shared<Handover>();
    post([&fn, ends = std::make_shared<EndsTheWait>(handover)] { fn(); });
    std::unique_lock waiting(handover->lock);
    handover->changed.wait(waiting, [&] { return handover->over; });
}

double QtMainQueue::now() const {
    return static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
}

}  // namespace quillet
