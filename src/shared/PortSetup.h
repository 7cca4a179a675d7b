#pragma once

#include "link/SerialDevices.h"

#include <QList>
#include <QString>
#include <optional>

namespace talvek {

class OnlineModeSwitch;
class ProgramFolder;
class Prompter;
class RSComm;

// One serial device as the port settings list it.
struct PortDeviceRow
{
    QString number; // the port number that leads to it now, or "-"
    QString name; // its name as the operator knows it
    QString about; // description and maker
    QString serialNumber;
    QString toolTip; // the device node, and its stable by-id name
};

// The port settings without their window: what the settings file holds, the
// serial devices present and the port number that reaches each, a device
// pinned to a free number, and Save (the link closed, the files written, the
// link opened again when it was open).
class PortSetup final
{
public:
    PortSetup(RSComm& rs, OnlineModeSwitch& mode, ProgramFolder& folder, Prompter& prompter, int minPort, int maxPort);
    Q_DISABLE_COPY_MOVE(PortSetup)

    // The settings the dialog opens with: the port (within the limits) and
    // the index of the speed in kSupportedSpeeds. A settings file that cannot
    // be read shows its fault box and gives the defaults.
    struct Shown
    {
        int port = 1;
        int speedIndex = 0;
    };
    Shown load();
    // Was the program online when the settings were loaded.
    bool wasOnline() const { return m_wasOnline; }

    // The devices present; true when the list changed.
    bool setDevices(const QList<SerialDeviceInfo>& devices);
    const QList<SerialDeviceInfo>& devices() const { return m_devices; }
    QList<PortDeviceRow> deviceRows() const;

    // The operator chose device `row`: the number that leads to it (pinned on
    // Save when none did), or nothing when no number is free (said in a box).
    // The rows are the devices, then the network ports.
    std::optional<int> chooseDevice(int row);

    // Network ports (serial device servers): the port links that lead to a
    // URL, and those added here, which are linked to their number on Save.
    const QList<SerialDeviceInfo>& networkPorts() const { return m_networkPorts; }
    int rowCount() const { return int(m_devices.size() + m_networkPorts.size()); }
    bool isNetworkRow(int row) const { return row >= m_devices.size() && row < rowCount(); }
    // Adds a network port by its URL and chooses it: its port number, or
    // nothing when the URL is none or no number is free (a box says why).
    std::optional<int> addNetworkPort(const QString& url);
    // Takes the network port of `row` out of the list; its link goes on Save.
    bool removeNetworkPort(int row);
    // Connects to the network port of `row` at the speed and sends the board
    // the attention byte once: what happened, for a box.
    QString testNetworkPort(int row, int speed);
    // The number Save will pin, and to what (port 0: none).
    const PortChoice& pendingPin() const { return m_pin; }
    // The device label for the port field's text (`accepted`: the text is a
    // number within the limits). A number other than the pinned one drops the pin.
    QString deviceText(const QString& portText, bool accepted);

    enum class SaveResult
    {
        Saved, // written, and the link as it was
        ReopenFailed, // written, but the new port did not open: the program is OFFLINE
        Failed, // the files could not be written (the fault box said so)
    };
    SaveResult save(int port, int speed);

private:
    PortMap portMap() const;
    void loadNetworkPorts();
    void unlinkRemoved();
    SerialDeviceInfo rowDevice(int row) const;

    RSComm& m_rs;
    OnlineModeSwitch& m_mode;
    ProgramFolder& m_folder;
    Prompter& m_prompter;
    int m_minPort;
    int m_maxPort;
    bool m_wasOnline = false;
    QList<SerialDeviceInfo> m_devices;
    QList<SerialDeviceInfo> m_networkPorts;
    QList<int> m_unlink; // port links of network ports removed, to go on Save
    PortChoice m_pin;
};

} // namespace talvek
