#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <string>
#include <vector>

#include "platform/DeviceWatcher.h"

class QSocketNotifier;

// Tells the window when devices come and go: no timer runs while nothing happens, and a storm
// of hot-plug events is answered at most four times a second (the first at once).
class PortWatch : public QObject {
    Q_OBJECT

public:
    static constexpr int kShortestGapMs = 250;

    explicit PortWatch(QObject* parent = nullptr);

    void Watch(const std::vector<std::string>& paths);
    const DeviceWatcher& Watcher() const { return m_watcher; }

signals:
    void Changed();

private:
    void OnActivated();
    void OnHoldOffEnded();

    DeviceWatcher m_watcher;
    QSocketNotifier* m_notifier = nullptr;
    QTimer m_holdOff;
    QElapsedTimer m_sinceLastChange;
};
