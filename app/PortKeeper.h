#pragma once

#include <QObject>
#include <string>

class PortWatch;
class QComboBox;
class TerminalSession;

// Keeps the port list in step with the devices that come and go: marks the entries whose device
// is there (bold, the texts stay "COM1" to "COM50") with a tool tip naming the device, its by-id
// name and USB product, and tells the session when devices changed, so its open port checks its
// device and a lost one may open again.
class PortKeeper : public QObject {
    Q_OBJECT

public:
    PortKeeper(QComboBox* portList, std::string configPath, PortWatch& watch, TerminalSession& session,
               QObject* parent);

    // Reads the port map and the devices again and shows them in the list.
    void RefreshPortList();

private:
    void OnDevicesChanged();

    QComboBox* m_portList;
    std::string m_configPath;
    PortWatch& m_watch;
    TerminalSession& m_session;
};
