#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>
#include <array>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

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
// this machine and whether it is there.
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
    static const QStringList& DevelopmentSystemFolders();

    // Was the program online when the dialog opened.
    bool wasOnline() const { return m_wasOnline; }

    // ---- controls, named as the form names them ----
    QGroupBox* fraCommPort;
    QLineEdit* txtCommPort;
    UpDown* updCommPort;
    QLabel* lblCommDevice;
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

    bool portTextAccepted() const;
    void refusePortText();
    void updateDeviceLabel();
    void writeSettingsFiles(int port, int speed);
    void errorBox(int number, const QString& description, const QString& title);

    RSComm& m_rs;
    OnlineModeSwitch& m_mode;
    ProgramFolder& m_folder;
    Prompter& m_prompter;
    bool m_wasOnline = false;
    bool m_checkPending = false; // a focus-out check is posted
    bool m_inCheck = false; // the refusal box is up
};

} // namespace talvek
