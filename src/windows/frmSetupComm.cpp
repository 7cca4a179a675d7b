#include "windows/frmSetupComm.h"

#include "base/BasicError.h"
#include "base/BasicText.h"
#include "base/ProgramFolder.h"
#include "base/Prompter.h"
#include "base/RuntimeFault.h"
#include "link/CommPortSettings.h"
#include "link/QtSerialPortControl.h"
#include "link/RSComm.h"
#include "link/SerialPortControl.h"
#include "shared/modUtility.h"
#include "windows/FormUtility.h"
#include "windows/UpDown.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#ifdef Q_OS_WIN
#include <QSerialPortInfo>
#endif

#include <algorithm>

namespace talvek {

namespace {

const QString kLoadTitle = QStringLiteral("SetupComm CurrentSettings");
const QString kSaveTitle = QStringLiteral("SetupComm");
const QString kFieldTitle = QStringLiteral("Comm Port");

QString native(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

bool deviceExists(const QString& device)
{
#ifdef Q_OS_WIN
    const auto ports = QSerialPortInfo::availablePorts();
    return std::any_of(ports.begin(), ports.end(), [&](const QSerialPortInfo& info) {
        return info.portName().compare(device, Qt::CaseInsensitive) == 0;
    });
#else
    return QFileInfo::exists(device); // follows links: a dangling one is not there
#endif
}

} // namespace

const QStringList& frmSetupComm::developmentSystemFolders()
{
    return talvek::developmentSystemFolders();
}

frmSetupComm::frmSetupComm(
    RSComm& rs, OnlineModeSwitch& mode, ProgramFolder& folder, Prompter& prompter, QWidget* parent)
    : QDialog(parent)
    , fraCommPort(new QGroupBox(QStringLiteral("Comm Port"), this))
    , txtCommPort(new QLineEdit(QStringLiteral("1"), fraCommPort))
    , updCommPort(new UpDown(fraCommPort))
    , lblCommDevice(new QLabel(fraCommPort))
    , fraDevices(new QGroupBox(QStringLiteral("Serial Devices"), this))
    , lstDevices(new QTreeWidget(fraDevices))
    , fraPortSpeed(new QGroupBox(QStringLiteral("Port Speed"), this))
    , cmdSave(new QPushButton(QStringLiteral("&Save"), this))
    , cmdCancel(new QPushButton(QStringLiteral("&Cancel"), this))
    , m_rs(rs)
    , m_mode(mode)
    , m_folder(folder)
    , m_prompter(prompter)
    , m_lister(listSerialDevices)
{
    setObjectName(QStringLiteral("frmSetupComm"));
    setWindowTitle(QStringLiteral("Comm Port Settings"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setModal(true);

    fraCommPort->setObjectName(QStringLiteral("fraCommPort"));
    txtCommPort->setObjectName(QStringLiteral("txtCommPort"));
    updCommPort->setObjectName(QStringLiteral("updCommPort"));
    lblCommDevice->setObjectName(QStringLiteral("lblCommDevice"));
    fraDevices->setObjectName(QStringLiteral("fraDevices"));
    lstDevices->setObjectName(QStringLiteral("lstDevices"));
    fraPortSpeed->setObjectName(QStringLiteral("fraPortSpeed"));
    cmdSave->setObjectName(QStringLiteral("cmdSave"));
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));

    buildPortFrame();
    buildSpeedFrame();
    buildDeviceList();
    arrangeControls();

    txtCommPort->installEventFilter(this);
    connect(txtCommPort, &QLineEdit::textChanged, this, &frmSetupComm::updateDeviceLabel);
    connect(cmdSave, &QPushButton::clicked, this, &frmSetupComm::cmdSave_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmSetupComm::cmdCancel_Click);

    Form_Load();
    txtCommPort->setFocus(Qt::OtherFocusReason);
    watchDevices();
}

void frmSetupComm::buildPortFrame()
{
    // The spinner holds the limits of the port number; everything else reads
    // them from it.
    updCommPort->setMin(1);
    updCommPort->setMax(99);
    updCommPort->setIncrement(1);
    updCommPort->setBuddy(
        [this] { return txtCommPort->text(); }, [this](const QString& text) { txtCommPort->setText(text); });

    txtCommPort->setAlignment(Qt::AlignRight);
    txtCommPort->setFixedWidth(txtCommPort->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 12);
    // The arrows stand beside the field, as tall as it is.
    updCommPort->setFixedHeight(txtCommPort->sizeHint().height());
    lblCommDevice->setWordWrap(true);
    lblCommDevice->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblCommDevice->setMinimumWidth(lblCommDevice->fontMetrics().horizontalAdvance(QLatin1Char('x')) * 40);

    auto* portRow = new QHBoxLayout;
    portRow->setSpacing(0);
    portRow->addWidget(txtCommPort);
    portRow->addWidget(updCommPort);
    portRow->addStretch(1);
    auto* portLayout = new QVBoxLayout(fraCommPort);
    portLayout->addLayout(portRow);
    portLayout->addWidget(lblCommDevice);
    portLayout->addStretch(1);
}

void frmSetupComm::buildSpeedFrame()
{
    auto* speedLayout = new QVBoxLayout(fraPortSpeed);
    for (int i = 0; i < 2; ++i) {
        optPortSpeed[i] = new QRadioButton(QString::number(kSupportedSpeeds[size_t(i)]), fraPortSpeed);
        optPortSpeed[i]->setObjectName(QStringLiteral("optPortSpeed_%1").arg(i));
        speedLayout->addWidget(optPortSpeed[i]);
    }
    speedLayout->addStretch(1);
    optPortSpeed[0]->setChecked(true);
}

void frmSetupComm::buildDeviceList()
{
    // The devices present: choosing one sets the port number.
    lstDevices->setColumnCount(4);
    lstDevices->setHeaderLabels({ QStringLiteral("Port"), QStringLiteral("Device"),
        QStringLiteral("Description"), QStringLiteral("Serial Number") });
    lstDevices->setRootIsDecorated(false);
    lstDevices->setUniformRowHeights(true);
    lstDevices->setAllColumnsShowFocus(true);
    lstDevices->header()->setStretchLastSection(false);
    lstDevices->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    lstDevices->setToolTip(QStringLiteral("Choose the serial adapter the controller is connected to."));
    {
        const QFontMetrics metrics(lstDevices->font());
        lstDevices->setFixedSize(metrics.horizontalAdvance(QLatin1Char('x')) * 72, metrics.lineSpacing() * 7);
    }
    auto* devicesLayout = new QVBoxLayout(fraDevices);
    devicesLayout->addWidget(lstDevices);
    connect(lstDevices, &QTreeWidget::itemClicked, this,
        [this](QTreeWidgetItem* item) { chooseDevice(lstDevices->indexOfTopLevelItem(item)); });
    connect(lstDevices, &QTreeWidget::itemActivated, this,
        [this](QTreeWidgetItem* item) { chooseDevice(lstDevices->indexOfTopLevelItem(item)); });
}

void frmSetupComm::arrangeControls()
{
    auto* frames = new QHBoxLayout;
    frames->addWidget(fraCommPort, 1);
    frames->addWidget(fraPortSpeed);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdSave);
    buttons->addWidget(cmdCancel);
    cmdSave->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(frames);
    layout->addWidget(fraDevices);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    setTabOrder(txtCommPort, updCommPort);
    setTabOrder(updCommPort, lstDevices);
    setTabOrder(lstDevices, optPortSpeed[0]);
    setTabOrder(optPortSpeed[0], optPortSpeed[1]);
    setTabOrder(optPortSpeed[1], cmdSave);
    setTabOrder(cmdSave, cmdCancel);
}

frmSetupComm::~frmSetupComm()
{
    // No focus check while the controls go away.
    txtCommPort->removeEventFilter(this);
}

void frmSetupComm::Form_Load()
{
    m_wasOnline = m_rs.OnlineMode;

    try {
        // A missing or empty file shows the defaults; the dialog creates nothing.
        const PortSettings settings = loadPortSettings(m_folder).value_or(PortSettings {});
        const int port = std::clamp(settings.port, updCommPort->Min(), updCommPort->Max());
        txtCommPort->setText(QString::number(port));
        optPortSpeed[Val(settings.speed) == double(kSupportedSpeeds[1]) ? 1 : 0]->setChecked(true);
    } catch (const BasicError& e) {
        showRuntimeFault(m_prompter, e, kLoadTitle, MsgIcon::Information);
    }
    // Centred with its final size, the device of the port shown.
    refreshDevices();
    updateDeviceLabel();
    adjustSize();
    CenterForm(this);
}

bool frmSetupComm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == txtCommPort && event->type() == QEvent::FocusOut) {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        // Leaving the window (another program, a message box) is not leaving
        // the field; Cancel closes without looking at the field.
        const bool leavesField = reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason;
        if (leavesField && !m_inCheck && QApplication::focusWidget() != cmdCancel && !portTextAccepted()) {
            // Checked once control is back in the event loop: a message box
            // shown from inside a focus change would re-enter it.
            m_checkPending = true;
            QMetaObject::invokeMethod(
                this, [this] { txtCommPort_LostFocus(); }, Qt::QueuedConnection);
        }
    }
    return QDialog::eventFilter(watched, event);
}

bool frmSetupComm::portTextAccepted() const
{
    const QString text = txtCommPort->text();
    if (!IsNumeric(text))
        return false;
    const double value = Val(text);
    return value >= updCommPort->Min() && value <= updCommPort->Max();
}

void frmSetupComm::refusePortText()
{
    m_inCheck = true;
    m_prompter.msgBox(QStringLiteral("Only a Number Between %1 and %2 can be Entered")
                          .arg(updCommPort->Min())
                          .arg(updCommPort->Max()),
        kFieldTitle, MsgIcon::Information, MsgButtons::OK);
    m_inCheck = false;
    txtCommPort->setFocus(Qt::OtherFocusReason);
}

bool frmSetupComm::txtCommPort_Validate()
{
    if (portTextAccepted())
        return true;
    refusePortText();
    return false;
}

void frmSetupComm::txtCommPort_LostFocus()
{
    if (!m_checkPending)
        return;
    m_checkPending = false;
    if (!isVisible() || m_inCheck)
        return;
    txtCommPort_Validate();
}

void frmSetupComm::cmdSave_Click()
{
    // A check posted by the focus moving to this button is done here.
    m_checkPending = false;
    if (m_inCheck || !txtCommPort_Validate())
        return;

    // Close the link (the mode panel shows OFFLINE while it is closed).
    m_mode.setMode(false);
    try {
        const int port
            = std::clamp<int>(CInt(Val(txtCommPort->text())), updCommPort->Min(), updCommPort->Max());
        const int speed = kSupportedSpeeds[optPortSpeed[1]->isChecked() ? 1 : 0];
        writeSettingsFiles(port, speed);
        if (m_wasOnline) {
            m_mode.setMode(true);
            if (!m_rs.OnlineMode) {
                // The new port did not open; the operator can correct it or cancel.
                m_rs.OnlineMode = false;
                return;
            }
        }
        accept();
    } catch (const BasicError& e) {
        showRuntimeFault(m_prompter, e, kSaveTitle, MsgIcon::Information);
    }
}

void frmSetupComm::cmdCancel_Click()
{
    m_checkPending = false;
    reject();
}

void frmSetupComm::writeSettingsFiles(int port, int speed)
{
    // A device chosen from the list that no number reached: its number is
    // linked to the device's stable name.
    const QString pin = m_pin.port == port ? m_pin.pinTarget : QString();
    saveCommPortSettings(m_folder, port, speed, pin);
    m_pin = PortChoice {};
}

void frmSetupComm::setDeviceLister(DeviceLister lister)
{
    m_lister = std::move(lister);
    refreshDevices();
}

void frmSetupComm::watchDevices()
{
#ifdef Q_OS_LINUX
    // Device nodes and their by-id links appear and go with the adapters; the
    // links follow the nodes by a moment, so the list is read a little later.
    m_deviceTimer = new QTimer(this);
    m_deviceTimer->setSingleShot(true);
    m_deviceTimer->setInterval(400);
    connect(m_deviceTimer, &QTimer::timeout, this, &frmSetupComm::refreshDevices);
    auto* watcher = new QFileSystemWatcher(this);
    for (const QString& dir : { QStringLiteral("/dev"), QStringLiteral("/dev/serial/by-id") }) {
        if (QFileInfo(dir).isDir())
            watcher->addPath(dir);
    }
    connect(watcher, &QFileSystemWatcher::directoryChanged, this, [this, watcher] {
        if (QFileInfo(QStringLiteral("/dev/serial/by-id")).isDir()
            && !watcher->directories().contains(QStringLiteral("/dev/serial/by-id")))
            watcher->addPath(QStringLiteral("/dev/serial/by-id"));
        m_deviceTimer->start();
    });
#endif
}

PortMap frmSetupComm::portMap() const
{
    PortMap map;
    SerialPortControl* port = m_mode.port();
    map.deviceForPort = [port](int n) { return port ? port->deviceForPort(n) : QString(); };
    map.hasLink = [this](int n) {
        const QFileInfo link(m_folder.resolve(portLinkFile(n)));
        return link.isSymLink() || link.exists();
    };
    map.tableDevice = [](int n) { return QtSerialPortControl::defaultDevice(n); };
    map.deviceExists = [this](const QString& device) {
        return deviceExists(device)
            || std::any_of(m_devices.begin(), m_devices.end(),
                [&](const SerialDeviceInfo& d) { return d.device == device; });
    };
    return map;
}

void frmSetupComm::refreshDevices()
{
    const QList<SerialDeviceInfo> devices = m_lister ? m_lister() : QList<SerialDeviceInfo> {};
    if (devices == m_devices && lstDevices->topLevelItemCount() == devices.size())
        return;
    m_devices = devices;
    lstDevices->clear();
    const PortMap map = portMap();
    for (const SerialDeviceInfo& d : std::as_const(m_devices)) {
        // The number that leads to the device now; choosing one that none
        // reaches pins a number to it.
        const PortChoice choice = choosePortForDevice(d, map, updCommPort->Min(), updCommPort->Max());
        QStringList about;
        for (const QString& part : { d.description, d.manufacturer })
            if (!part.isEmpty() && !about.contains(part))
                about << part;
        auto* item = new QTreeWidgetItem(lstDevices,
            { choice.port > 0 && choice.pinTarget.isEmpty() ? QString::number(choice.port)
                                                            : QStringLiteral("-"),
                native(d.displayName()), about.join(QStringLiteral(", ")), d.serialNumber });
        item->setToolTip(
            1, native(d.device) + (d.byId.isEmpty() ? QString() : QStringLiteral("\n") + d.byId));
    }
    updateDeviceLabel();
}

void frmSetupComm::chooseDevice(int row)
{
    if (row < 0 || row >= m_devices.size())
        return;
    const PortChoice choice
        = choosePortForDevice(m_devices.at(row), portMap(), updCommPort->Min(), updCommPort->Max());
    if (choice.port == 0) {
        m_prompter.msgBox(
            QStringLiteral("No port number is free for %1.").arg(native(m_devices.at(row).displayName()))
                + QStringLiteral("\r\nRemove a link you no longer need from %1.")
                      .arg(native(m_folder.writablePath(QStringLiteral("support/ports")))),
            kFieldTitle, MsgIcon::Information, MsgButtons::OK);
        return;
    }
    m_pin = PortChoice {};
    txtCommPort->setText(QString::number(choice.port));
    m_pin = choice.pinTarget.isEmpty() ? PortChoice {} : choice;
    updateDeviceLabel();
}

void frmSetupComm::updateDeviceLabel()
{
    QString text;
    SerialPortControl* port = m_mode.port();
    // A number typed or stepped to after choosing a device drops its pin.
    if (m_pin.port != 0 && (!portTextAccepted() || CInt(Val(txtCommPort->text())) != m_pin.port))
        m_pin = PortChoice {};
    if (m_pin.port != 0) {
        text = QStringLiteral("Device: %1 (port %2 is linked to it when saved)")
                   .arg(native(m_pin.pinTarget))
                   .arg(m_pin.port);
    } else if (!portTextAccepted() || !port) {
        text = QStringLiteral("Device: -");
    } else {
        const int number
            = std::clamp<int>(CInt(Val(txtCommPort->text())), updCommPort->Min(), updCommPort->Max());
        const QString device = port->deviceForPort(number);
        if (device.isEmpty()) {
            text = QStringLiteral("Device: none (no device for port %1 on this machine)").arg(number);
        } else {
            QString via;
#ifndef Q_OS_WIN
            const QString link = m_folder.resolve(portLinkFile(number));
            if (QFileInfo(link).isSymLink()) {
                const QString shown
                    = m_folder.isPortable() ? QDir(m_folder.root()).relativeFilePath(link) : link;
                via = QStringLiteral(", set by %1").arg(native(shown));
            }
#endif
            text = QStringLiteral("Device: %1 (%2%3)")
                       .arg(native(device),
                           deviceExists(device) ? QStringLiteral("found")
                                                : QStringLiteral("not found on this machine"),
                           via);
        }
    }
    lblCommDevice->setText(text);
    lblCommDevice->setToolTip(text);
}

} // namespace talvek
