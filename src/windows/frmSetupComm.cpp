#include "windows/frmSetupComm.h"

#include "base/BasicText.h"
#include "base/ProgramFolder.h"
#include "base/Prompter.h"
#include "link/CommPortSettings.h"
#include "link/SerialPortControl.h"
#include "shared/modUtility.h"
#include "windows/FormUtility.h"
#include "windows/UpDown.h"

#include <QApplication>
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

#include <algorithm>

namespace talvek {

namespace {

const QString kFieldTitle = QStringLiteral("Comm Port");
constexpr int kMinPort = 1;
constexpr int kMaxPort = 99;

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
    , cmdAddNetworkPort(new QPushButton(QStringLiteral("&Add Network Port..."), fraDevices))
    , cmdRemoveNetworkPort(new QPushButton(QStringLiteral("&Remove"), fraDevices))
    , cmdTestConnection(new QPushButton(QStringLiteral("&Test Connection"), fraDevices))
    , fraPortSpeed(new QGroupBox(QStringLiteral("Port Speed"), this))
    , cmdSave(new QPushButton(QStringLiteral("&Save"), this))
    , cmdCancel(new QPushButton(QStringLiteral("&Cancel"), this))
    , m_prompter(prompter)
    , m_setup(rs, mode, folder, prompter, kMinPort, kMaxPort)
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
    cmdAddNetworkPort->setObjectName(QStringLiteral("cmdAddNetworkPort"));
    cmdRemoveNetworkPort->setObjectName(QStringLiteral("cmdRemoveNetworkPort"));
    cmdTestConnection->setObjectName(QStringLiteral("cmdTestConnection"));
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
    updCommPort->setMin(kMinPort);
    updCommPort->setMax(kMaxPort);
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
    auto* networkRow = new QHBoxLayout;
    networkRow->addWidget(cmdAddNetworkPort);
    networkRow->addWidget(cmdRemoveNetworkPort);
    networkRow->addWidget(cmdTestConnection);
    networkRow->addStretch(1);
    devicesLayout->addLayout(networkRow);
    cmdAddNetworkPort->setToolTip(
        QStringLiteral("A serial device server's port: rfc2217://HOST:PORT or socket://HOST:PORT."));
    connect(cmdAddNetworkPort, &QPushButton::clicked, this, &frmSetupComm::cmdAddNetworkPort_Click);
    connect(cmdRemoveNetworkPort, &QPushButton::clicked, this, &frmSetupComm::cmdRemoveNetworkPort_Click);
    connect(cmdTestConnection, &QPushButton::clicked, this, &frmSetupComm::cmdTestConnection_Click);
    connect(lstDevices, &QTreeWidget::currentItemChanged, this, &frmSetupComm::updateNetworkButtons);
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
    const PortSetup::Shown shown = m_setup.load();
    txtCommPort->setText(QString::number(shown.port));
    optPortSpeed[size_t(shown.speedIndex)]->setChecked(true);
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
    const int port = std::clamp<int>(CInt(Val(txtCommPort->text())), updCommPort->Min(), updCommPort->Max());
    const int speed = kSupportedSpeeds[optPortSpeed[1]->isChecked() ? 1 : 0];
    // A new port that did not open leaves the dialog open, the program
    // OFFLINE: the operator can correct it or cancel.
    if (m_setup.save(port, speed) == PortSetup::SaveResult::Saved)
        accept();
}

void frmSetupComm::cmdCancel_Click()
{
    m_checkPending = false;
    reject();
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

void frmSetupComm::refreshDevices()
{
    const bool changed = m_setup.setDevices(m_lister ? m_lister() : QList<SerialDeviceInfo> {});
    if (!changed && lstDevices->topLevelItemCount() == m_setup.rowCount())
        return;
    fillDeviceList();
}

void frmSetupComm::fillDeviceList()
{
    lstDevices->clear();
    for (const PortDeviceRow& row : m_setup.deviceRows()) {
        auto* item = new QTreeWidgetItem(lstDevices, { row.number, row.name, row.about, row.serialNumber });
        item->setToolTip(1, row.toolTip);
    }
    updateDeviceLabel();
    updateNetworkButtons();
}

void frmSetupComm::updateNetworkButtons()
{
    const bool network = m_setup.isNetworkRow(lstDevices->indexOfTopLevelItem(lstDevices->currentItem()));
    cmdRemoveNetworkPort->setEnabled(network);
    cmdTestConnection->setEnabled(network);
}

void frmSetupComm::cmdAddNetworkPort_Click()
{
    const std::optional<QString> url = m_prompter.inputBox(
        QStringLiteral("The port of a serial device server:\r\nrfc2217://HOST:PORT (Telnet with RFC 2217) "
                       "or socket://HOST:PORT (raw TCP)"),
        QStringLiteral("Add Network Port"), QStringLiteral("rfc2217://"));
    if (!url)
        return;
    const std::optional<int> port = m_setup.addNetworkPort(*url);
    // The number first: the list's label would drop the pin of another.
    if (port)
        txtCommPort->setText(QString::number(*port));
    fillDeviceList();
    if (port)
        lstDevices->setCurrentItem(lstDevices->topLevelItem(m_setup.rowCount() - 1));
}

void frmSetupComm::cmdRemoveNetworkPort_Click()
{
    if (m_setup.removeNetworkPort(lstDevices->indexOfTopLevelItem(lstDevices->currentItem())))
        fillDeviceList();
}

void frmSetupComm::cmdTestConnection_Click()
{
    const int row = lstDevices->indexOfTopLevelItem(lstDevices->currentItem());
    if (!m_setup.isNetworkRow(row))
        return;
    const int speed = kSupportedSpeeds[optPortSpeed[1]->isChecked() ? 1 : 0];
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const QString text = m_setup.testNetworkPort(row, speed);
    QApplication::restoreOverrideCursor();
    m_prompter.msgBox(text, QStringLiteral("Test Connection"), MsgIcon::Information, MsgButtons::OK);
}

void frmSetupComm::chooseDevice(int row)
{
    const std::optional<int> port = m_setup.chooseDevice(row);
    if (!port)
        return;
    // The pin the choice made stays while the field shows its number.
    txtCommPort->setText(QString::number(*port));
    updateDeviceLabel();
}

void frmSetupComm::updateDeviceLabel()
{
    const QString text = m_setup.deviceText(txtCommPort->text(), portTextAccepted());
    lblCommDevice->setText(text);
    lblCommDevice->setToolTip(text);
}

} // namespace talvek
