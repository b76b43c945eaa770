#include "ui/QtSessionLoop.h"

#include <QTimer>

namespace {

class QtSessionTimer : public SessionTimer {
public:
    QtSessionTimer(std::function<void()> task, bool singleShot)
    {
        timer_.setSingleShot(singleShot);
        QObject::connect(&timer_, &QTimer::timeout, std::move(task));
    }

    void Start(std::chrono::milliseconds interval) override { timer_.start(interval); }
    void Stop() override { timer_.stop(); }
    bool IsActive() const override { return timer_.isActive(); }

private:
    QTimer timer_;
};

}  // namespace

QtSessionLoop::QtSessionLoop(QObject* parent) : QObject(parent) {}

void QtSessionLoop::Post(std::function<void()> task)
{
    QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}

std::unique_ptr<SessionTimer> QtSessionLoop::MakeTimer(std::function<void()> task, bool singleShot)
{
    return std::make_unique<QtSessionTimer>(std::move(task), singleShot);
}
