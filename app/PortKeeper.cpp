#include "app/PortKeeper.h"

#include <QComboBox>
#include <QFont>
#include <QStringList>

#include "app/PortWatch.h"
#include "serial/PortInventory.h"
#include "session/TerminalSession.h"

PortKeeper::PortKeeper(QComboBox* portList, std::string configPath, PortWatch& watch, TerminalSession& session,
                       QObject* parent)
    : QObject(parent), m_portList(portList), m_configPath(std::move(configPath)), m_watch(watch), m_session(session)
{
    connect(&m_watch, &PortWatch::Changed, this, &PortKeeper::OnDevicesChanged);
}

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
    m_watch.Watch(watched);
}

void PortKeeper::OnDevicesChanged()
{
    RefreshPortList();
    m_session.DevicesChanged();
}
