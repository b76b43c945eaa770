#include "app/PortKeeper.h"

#include <QComboBox>
#include <QFont>
#include <QStringList>
#include <chrono>

#include "app/PortWatch.h"
#include "serial/PortEngine.h"
#include "serial/PortInventory.h"

PortKeeper::PortKeeper(PortEngine& port, QComboBox* portList, std::string configPath, QObject* parent)
    : QObject(parent),
      m_port(port),
      m_portList(portList),
      m_configPath(std::move(configPath)),
      m_watch(new PortWatch(this)),
      m_policy(std::make_unique<ReconnectPolicy>(m_watch->Watcher()))
{
    m_retryTimer.setSingleShot(true);
    connect(&m_retryTimer, &QTimer::timeout, this, &PortKeeper::ConsiderReopening);
    connect(m_watch, &PortWatch::Changed, this, &PortKeeper::OnDevicesChanged);
}

PortKeeper::~PortKeeper() = default;

void PortKeeper::SetAutoReconnect(bool enabled)
{
    m_policy->SetEnabled(enabled);
    ConsiderReopening();
}

bool PortKeeper::AutoReconnect() const { return m_policy->Enabled(); }

void PortKeeper::PortLost(int number, const std::string& device)
{
    m_policy->PortLost(number, device);
    ConsiderReopening();
}

void PortKeeper::UserTookOver()
{
    m_policy->Cancel();
    m_retryTimer.stop();
}

void PortKeeper::ReopenAttempted(bool opened)
{
    if (opened) {
        m_policy->AttemptSucceeded();
    } else {
        m_policy->AttemptFailed();
    }
    ScheduleNextLook();
}

bool PortKeeper::Reopening() const { return m_policy->Attempting(); }

bool PortKeeper::WaitingForDevice() const { return m_policy->Waiting(); }

void PortKeeper::RefreshPortList()
{
    std::vector<std::string> watched{DeviceDirectories{}.byId + "/"};
    for (const PortEntry& entry : TakePortInventory(m_configPath, m_portList->count())) {
        const int index = entry.number - 1;
        QFont font = m_portList->font();
        font.setBold(entry.description.present);
        m_portList->setItemData(index, font, Qt::FontRole);
        QStringList tip;
        tip << (entry.device.empty() ? QStringLiteral("没有对应的设备") : QString::fromStdString(entry.device));
        if (!entry.description.byIdName.empty() && entry.description.byIdName != entry.device) {
            tip << QString::fromStdString(entry.description.byIdName);
        }
        if (!entry.description.usbProduct.empty()) {
            tip << QString::fromStdString(entry.description.usbProduct);
        }
        m_portList->setItemData(index, tip.join(QLatin1Char('\n')), Qt::ToolTipRole);
        if (!entry.device.empty()) {
            watched.push_back(entry.device);
        }
    }
    m_watch->Watch(watched);
}

void PortKeeper::OnDevicesChanged()
{
    RefreshPortList();
    if (m_port.IsOpen()) {
        m_port.CheckDevice();
    }
    ConsiderReopening();
}

void PortKeeper::ConsiderReopening()
{
    if (m_policy->ShouldTryNow()) {
        m_policy->AttemptStarted();
        emit ReopenWanted(m_policy->PortNumber());
    }
    ScheduleNextLook();
}

void PortKeeper::ScheduleNextLook()
{
    if (const auto again = m_policy->AskAgainIn()) {
        m_retryTimer.start(static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(*again).count()));
    } else {
        m_retryTimer.stop();
    }
}
