#pragma once

#include "link/SerialDevices.h"
#include "shared/PortSetup.h"

#include <QDialog>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;
class QTreeWidget;

namespace talvek {

class OnlineModeSwitch;
class ProgramFolder;
class Prompter;
class RSComm;
class UpDown;

// "Comm Port Settings": the PC serial port and the link speed.
//
// Saving closes the link, writes the port settings file, copies the port
// choice into NORVIK.SFG of each development-system folder beside the program
// (NVK51, NVK96, PLS51) and, when the program was online as the dialog opened,
// reopens the link; a reopen that fails keeps the dialog open with the program
// OFFLINE. Cancel writes nothing and leaves the link as it was.
//
// Beside the port number the dialog shows the device that number means on
// this machine and whether it is there, and lists the serial devices present
// (kept up to date while the dialog is open). Choosing one sets the number
// that leads to it; a device that no number reaches gets a free number pinned
// to its stable by-id name, written as the link support/ports/COMn on Save.
// Network ports (serial device servers, rfc2217://HOST:PORT or
// socket://HOST:PORT) are listed after the devices: added, removed (their
// links go on Save) and tried out with Test Connection.
class frmSetupComm final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmSetupComm)

public:
    // The link's serial-port control is mode.port().
    frmSetupComm(RSComm& rs, OnlineModeSwitch& mode, ProgramFolder& folder, Prompter& prompter,
        QWidget* parent = nullptr);
    ~frmSetupComm() override;

    // The development-system folders whose NORVIK.SFG receives the port.
    static const QStringList& developmentSystemFolders();

    // Was the program online when the dialog opened.
    bool wasOnline() const { return m_setup.wasOnline(); }

    // Where the device list comes from (listSerialDevices unless replaced);
    // setting it lists again.
    using DeviceLister = std::function<QList<SerialDeviceInfo>()>;
    void setDeviceLister(DeviceLister lister);
    // Lists the devices again (done by itself when a device comes or goes).
    void refreshDevices();
    // The devices listed, in the order of lstDevices.
    const QList<SerialDeviceInfo>& devices() const { return m_setup.devices(); }
    // The number Save will pin, and to what (port 0: none).
    const PortChoice& pendingPin() const { return m_setup.pendingPin(); }

    // ---- controls, named as the form names them ----
    QGroupBox* fraCommPort;
    QLineEdit* txtCommPort;
    UpDown* updCommPort;
    QLabel* lblCommDevice;
    QGroupBox* fraDevices;
    QTreeWidget* lstDevices;
    QPushButton* cmdAddNetworkPort;
    QPushButton* cmdRemoveNetworkPort;
    QPushButton* cmdTestConnection;
    QGroupBox* fraPortSpeed;
    std::array<QRadioButton*, 2> optPortSpeed {};
    QPushButton* cmdSave;
    QPushButton* cmdCancel;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Form_Load();
    // The port field check: true when the text is a number within the
    // spinner's limits; otherwise shows the refusal and keeps the focus there.
    bool txtCommPort_Validate();
    void txtCommPort_LostFocus();
    void cmdSave_Click();
    void cmdCancel_Click();
    void cmdAddNetworkPort_Click();
    void cmdRemoveNetworkPort_Click();
    void cmdTestConnection_Click();

    // The controls and their layouts.
    void buildPortFrame();
    void buildSpeedFrame();
    void buildDeviceList();
    void arrangeControls();

    bool portTextAccepted() const;
    void refusePortText();
    void updateDeviceLabel();
    void chooseDevice(int row);
    void watchDevices();
    void fillDeviceList();
    void updateNetworkButtons();

    Prompter& m_prompter;
    bool m_checkPending = false; // a focus-out check is posted
    bool m_inCheck = false; // the refusal box is up
    PortSetup m_setup;
    DeviceLister m_lister;
    QTimer* m_deviceTimer = nullptr; // lists again shortly after /dev changed
};

} // namespace talvek
