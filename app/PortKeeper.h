#pragma once

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "serial/ReconnectPolicy.h"

class PortEngine;
class PortWatch;
class QComboBox;

// Keeps the port list and the open port in step with the devices that come and go: marks the
// entries whose device is there (bold, the texts stay "COM1" to "COM50") with a tool tip
// naming the device, its by-id name and USB product; tells the engine to check its device;
// and, with "自动重连", asks the window to open a lost port again once its device is back.
class PortKeeper : public QObject {
    Q_OBJECT

public:
    PortKeeper(PortEngine& port, QComboBox* portList, std::string configPath, QObject* parent);
    ~PortKeeper() override;

    void SetAutoReconnect(bool enabled);
    bool AutoReconnect() const;

    // Port `number` with the device `device` was lost, not closed by the user.
    void PortLost(int number, const std::string& device);
    // The user closed or opened a port, or the window goes: no lost port is waited for.
    void UserTookOver();
    // The window tried to open the lost port again (at once, or in the background when the
    // port is a network port).
    void ReopenAttempted(bool opened);
    // The window is opening the lost port again (in the background, for a network port) and
    // has not reported yet.
    bool Reopening() const;
    bool WaitingForDevice() const;

    // Reads the port map and the devices again and shows them in the list.
    void RefreshPortList();

signals:
    // The device of lost port `number` is back: the window opens the port again and reports
    // with ReopenAttempted.
    void ReopenWanted(int number);

private:
    void OnDevicesChanged();
    void ConsiderReopening();
    void ScheduleNextLook();

    PortEngine& m_port;
    QComboBox* m_portList;
    std::string m_configPath;
    PortWatch* m_watch;
    std::unique_ptr<ReconnectPolicy> m_policy;
    QTimer m_retryTimer;
};
