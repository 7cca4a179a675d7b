#include "link/RSComm.h"

#include "base/BasicError.h"
#include "base/ProgramFolder.h"
#include "base/Prompter.h"
#include "base/RuntimeFault.h"
#include "link/CommPortSettings.h"
#include "link/SerialPortControl.h"

namespace talvek {

RSComm::RSComm(ProgramFolder& folder, Clock& clock, Prompter& prompter)
    : m_link(clock, prompter)
    , OnlineMode(m_link.OnlineMode)
    , CommError(m_link.CommError)
    , m_folder(folder)
    , m_clock(clock)
    , m_prompter(prompter)
{ }

RSComm::~RSComm() = default;

QString RSComm::CommSettingsFile() const
{
    return m_folder.resolve(QLatin1String(kPortSettingsFile));
}

// ---------------------------------------------------------------------------
// Port settings

void RSComm::ConfigurePort(SerialPortControl* port)
{
    PortSettings settings;
    int step = 1;
    while (step <= 4) {
        try {
            switch (step) {
            case 1:
                settings = readPortSettings(m_folder);
                break;
            case 2:
                if (port->isOpen())
                    port->close();
                break;
            case 3:
                port->setCommPort(settings.port);
                port->setSettings(settings.speed + QStringLiteral(",n,8,1"));
                break;
            case 4:
                m_link.attach(port);
                m_portFailed = false;
                break;
            }
            ++step;
        } catch (const BasicError& e) {
            const MsgResult answer = showRuntimeFault(m_prompter, e.number(), e.description(),
                QStringLiteral("RSComm InitializeRSComm"), MsgIcon::Critical, MsgButtons::RetryCancel);
            if (answer != MsgResult::Retry) {
                OnlineMode = false;
                m_portFailed = true;
                m_openFailure = fail(Cause::PortFailed, e.description());
                m_openFailure->errorNumber = e.number();
                return;
            }
        }
    }
}

// ---------------------------------------------------------------------------
// Open and close

void RSComm::OpenRSComm(SerialPortControl* CommObj)
{
    if (!CommObj)
        return;
    OperationGuard guard(*this);
    if (guard.refused())
        return; // never reconfigure a port under a waiting exchange
    if (monitor())
        monitor()->linkOpening();
    m_openFailure.reset();
    m_plsConfigRead.reset();
    m_plsScaleRead.reset();

    m_link.attach(CommObj);
    ConfigurePort(CommObj);
    if (m_portFailed) {
        tellOpened();
        return;
    }
    // One record per press's port, shared by TALVEK and talvek-cli.
    m_link.setRecordPath(m_writeAhead
            ? m_folder.writablePath(QStringLiteral("support/write-ahead/")
                + WriteAheadRecord::fileNameFor(CommObj->deviceForPort(CommObj->commPort())))
            : QString());
    try {
        m_link.open();
    } catch (const BasicError& e) {
        showRuntimeFault(m_prompter, e.number(), e.description(), QStringLiteral("Comm Port Error"),
            MsgIcon::Critical, MsgButtons::OK, e.source());
        CommError = true;
        OnlineMode = false;
        m_portFailed = true;
        m_openFailure = fail(Cause::PortFailed, e.description());
        m_openFailure->errorNumber = e.number();
    }
    if (!OnlineMode && !m_openFailure)
        m_openFailure = fail(m_link.lastCause());
    if (!OnlineMode && CommObj->isOpen()) {
        // The port stays open only while the program is online.
        try {
            CommObj->close();
        } catch (const SerialError&) { }
        m_link.CurrentMode = 0;
    }
    tellOpened();
    if (OnlineMode && m_link.earlierRun().found())
        m_prompter.msgBox(earlierRunText(m_link.earlierRun()), kInterruptedWriteTitle, MsgIcon::Exclamation,
            MsgButtons::OK);
}

const QString RSComm::kInterruptedWriteTitle = QStringLiteral("WARNING - Interrupted Write");

QString RSComm::earlierRunText(const ByteLink::EarlierRun& earlier)
{
    QStringList lines { earlier.plsWrite && earlier.held.isEmpty()
            ? QStringLiteral("An earlier run ended inside a PLS write.")
            : QStringLiteral("An earlier run ended inside a write to the controller.") };
    if (earlier.insideRecord)
        lines
            << QStringLiteral(
                   "The board was still inside it: it answered the first attention byte of this run "
                   "with %1H, not 55H, and may have stored that byte (or the next).")
                   .arg(
                       QString::number(earlier.firstReply, 16).toUpper().rightJustified(2, QLatin1Char('0')));
    QStringList held;
    for (const auto& [address, value] : earlier.held)
        held << (value ? QStringLiteral("B%1 holds %2").arg(address).arg(*value)
                       : QStringLiteral("B%1 could not be read back").arg(address));
    if (!held.isEmpty())
        lines << QStringLiteral("Bytes it may have changed: %1.").arg(held.join(QStringLiteral(", ")));
    if (earlier.unknownAddress)
        lines << QStringLiteral("A byte may have been stored at an address that cannot be told.");
    if (earlier.plsWrite)
        lines << QStringLiteral(
            "The PLS may have taken the first bytes of this run as part of that write: check "
            "its scale factor, offset, channels and configuration.");
    lines << QStringLiteral(
        "Check these values: the controller may hold a value the interrupted run changed.");
    return lines.join(QLatin1Char('\r'));
}

void RSComm::CloseRSComm()
{
    const bool wasOpen = m_link.port() && m_link.port()->isOpen();
    m_link.close();
    if (m_observer && wasOpen)
        m_observer->modeChanged(false, done());
}

// ---------------------------------------------------------------------------
// What the observer is told

void RSComm::tellOpened()
{
    // An open that failed is told as what failed (the port, or a silent
    // board) with the mode: no second report calls it a lost link.
    m_faultTold = !OnlineMode;
    if (m_observer)
        m_observer->modeChanged(true, openOutcome());
}

void RSComm::tellWriteStarting(const QString& address, const QString& value)
{
    if (m_observer)
        m_observer->writeStarting(ControllerWrite { address, value, std::nullopt, m_writeSource, done() });
}

Status RSComm::toldWritten(const QString& address, const QString& value, Status outcome, std::optional<QString> before)
{
    if (m_observer)
        m_observer->written(ControllerWrite { address, value, std::move(before), m_writeSource, outcome });
    return outcome;
}

void RSComm::tellLinkFault()
{
    if (!m_observer || m_faultTold)
        return;
    m_faultTold = true;
    m_observer->linkFaulted(m_link.lastCause());
}

// ---------------------------------------------------------------------------
// Read and write

Result<QString> RSComm::RSRead(const QString& Add)
{
    OperationGuard guard(*this);
    if (guard.refused())
        return fail(Cause::Busy, Add);
    Result<QString> value = m_link.readRegister(Add);
    if (m_observer && value)
        m_observer->valueRead(Add, *value);
    return value;
}

Status RSComm::RSWrite(const QString& Add, const QString& DataValue, WriteFailure report)
{
    tellWriteStarting(Add, DataValue.trimmed());
    return toldWritten(Add, DataValue.trimmed(), writeRegister(Add, DataValue, report));
}

Status RSComm::writeRegister(const QString& Add, const QString& DataValue, WriteFailure report)
{
    OperationGuard guard(*this);
    if (guard.refused())
        return fail(Cause::Busy, Add);
    Status written = m_link.writeRegister(Add, DataValue);
    // A refused value has had its entry alert; a link failure its own box
    // (the operator is going OFFLINE).
    if (!written && written.cause() != Cause::EntryRefused && !CommError && report == WriteFailure::Alert)
        m_link.entryAlert(writeFailureText(Add, written.error()));
    return written;
}

QString RSComm::writeFailureText(const QString& Add, const Failure& failure)
{
    QString text = QStringLiteral("Value Not Written to PLC (") + Add + QStringLiteral(").");
    if (failure.cause == Cause::NotHeld && failure.held)
        text += QStringLiteral("\rThe controller now holds ") + QString::number(*failure.held) + QLatin1Char('.');
    // A byte beside the value that a lost byte may have changed: which, and
    // what it holds now (or that the link cannot tell which).
    if (failure.cause == Cause::StrayStore && failure.detail != Add)
        text += QStringLiteral("\rA lost byte may have changed ") + failure.detail
            + (failure.held ? QStringLiteral(", which now holds ") + QString::number(*failure.held) : QString())
            + QLatin1Char('.');
    else if (failure.cause == Cause::StrayStore)
        text += QStringLiteral("\rA lost byte may have changed a byte at an address that cannot be told.");
    return text;
}

} // namespace talvek
