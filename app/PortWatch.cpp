#include "app/PortWatch.h"

#include <QSocketNotifier>
#include <algorithm>

PortWatch::PortWatch(QObject* parent) : QObject(parent)
{
    m_holdOff.setSingleShot(true);
    connect(&m_holdOff, &QTimer::timeout, this, &PortWatch::OnHoldOffEnded);
    if (m_watcher.Descriptor() >= 0) {
        m_notifier = new QSocketNotifier(m_watcher.Descriptor(), QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &PortWatch::OnActivated);
    }
}

void PortWatch::Watch(const std::vector<std::string>& paths)
{
    m_watcher.Watch(paths);
}

void PortWatch::OnActivated()
{
    if (!m_watcher.TakeEvents() || m_holdOff.isActive()) {
        return;
    }
    const qint64 since = m_sinceLastChange.isValid() ? m_sinceLastChange.elapsed() : kShortestGapMs;
    m_holdOff.start(static_cast<int>(std::max<qint64>(0, kShortestGapMs - since)));
}

void PortWatch::OnHoldOffEnded()
{
    m_sinceLastChange.start();
    emit Changed();
}
