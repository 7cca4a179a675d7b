#include "windows/frmLinkMonitor.h"

#include "base/Prompter.h"
#include "shared/ExportFile.h"
#include "link/RSComm.h"
#include "link/SerialPortControl.h"
#include "windows/FormUtility.h"

#include <QDir>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace talvek {

namespace {

const QString kTitle = QStringLiteral("Link Monitor");

QLabel* counterLabel(QFormLayout* form, const char* name, const QString& caption)
{
    auto* label = new QLabel(QStringLiteral("0"));
    label->setObjectName(QLatin1String(name));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addRow(caption, label);
    return label;
}

QString milliseconds(qint64 ns)
{
    return QString::number(double(ns) / 1e6, 'f', 2);
}

#ifdef Q_OS_WIN
const char* const kLineEnd = "\r\n";
#else
const char* const kLineEnd = "\n";
#endif

} // namespace

frmLinkMonitor::frmLinkMonitor(RSComm& rs, Prompter& prompter, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_rs(rs)
    , m_prompter(prompter)
    , m_monitor(kLogCapacity)
{
    setObjectName(QStringLiteral("frmLinkMonitor"));
    setWindowTitle(kTitle);

    QGroupBox* counters = buildCounters();
    QGroupBox* logBox = buildLog();
    // The counters keep their width and scroll up and down on a small screen
    // (800 x 480); the log gives up width instead, its heading included.
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(scrollWhenSmall(counters, this), 2);
    layout->addWidget(logBox, 3);
    resize(900, 420);
    fitToScreen(this);

    connect(cmdPause, &QPushButton::toggled, this, [this](bool paused) {
        if (!paused)
            refresh();
    });
    connect(cmdClear, &QPushButton::clicked, this, &frmLinkMonitor::clearLog);
    connect(cmdSaveLog, &QPushButton::clicked, this, &frmLinkMonitor::saveLog);
    m_timer.setInterval(kRefreshMs);
    connect(&m_timer, &QTimer::timeout, this, &frmLinkMonitor::refresh);

    m_rs.setMonitor(&m_monitor);
    // Opened while ONLINE: the counters start now.
    if (m_rs.OnlineMode)
        m_monitor.linkOpening();
}

QGroupBox* frmLinkMonitor::buildCounters()
{
    auto* counters = new QGroupBox(QStringLiteral("Counters"));
    auto* form = new QFormLayout(counters);
    // Where a caption and its value do not fit side by side, the value goes
    // below its caption (a narrow screen).
    form->setRowWrapPolicy(QFormLayout::WrapLongRows);
    lblOnlineSince = counterLabel(form, "lblOnlineSince", QStringLiteral("Counting since:"));
    lblExchanges = counterLabel(form, "lblExchanges", QStringLiteral("Exchanges:"));
    lblRate = counterLabel(form, "lblRate", QStringLiteral("Exchanges per second:"));
    lblBytesOut = counterLabel(form, "lblBytesOut", QStringLiteral("Bytes out:"));
    lblBytesIn = counterLabel(form, "lblBytesIn", QStringLiteral("Bytes in:"));
    lblFirstWindowTimeouts
        = counterLabel(form, "lblFirstWindowTimeouts", QStringLiteral("First-window timeouts:"));
    lblResynchronisations
        = counterLabel(form, "lblResynchronisations", QStringLiteral("Resynchronisations:"));
    lblEchoMismatches = counterLabel(form, "lblEchoMismatches", QStringLiteral("Echo mismatches:"));
    lblRepeatedWrites = counterLabel(form, "lblRepeatedWrites", QStringLiteral("Repeated writes:"));
    lblFailedReads = counterLabel(form, "lblFailedReads", QStringLiteral("Failed reads:"));
    lblLinkFailures = counterLabel(form, "lblLinkFailures", QStringLiteral("Link failures:"));
    lblReplyTimes
        = counterLabel(form, "lblReplyTimes", QStringLiteral("Reply time, ms (median / 95% / max):"));
    lblWireFloor = counterLabel(form, "lblWireFloor", QStringLiteral("Wire floor:"));
    // Wide enough for the longest value, so that a value growing (a date, the
    // reply times) does not end cut off.
    const int valueWidth
        = lblWireFloor->fontMetrics().horizontalAdvance(QStringLiteral("2.08 ms an exchange at 19200 baud"));
    for (QLabel* value : counters->findChildren<QLabel*>()) {
        if (!value->objectName().isEmpty())
            value->setMinimumWidth(valueWidth);
    }
    return counters;
}

QGroupBox* frmLinkMonitor::buildLog()
{
    txtLog = new QPlainTextEdit;
    txtLog->setObjectName(QStringLiteral("txtLog"));
    txtLog->setReadOnly(true);
    txtLog->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtLog->setMaximumBlockCount(kLogCapacity);
    txtLog->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    txtLog->setPlaceholderText(LinkMonitor::logHeader());

    cmdPause = new QPushButton(QStringLiteral("&Pause"));
    cmdPause->setObjectName(QStringLiteral("cmdPause"));
    cmdPause->setCheckable(true);
    cmdClear = new QPushButton(QStringLiteral("&Clear"));
    cmdClear->setObjectName(QStringLiteral("cmdClear"));
    cmdSaveLog = new QPushButton(QStringLiteral("Save Log…"));
    cmdSaveLog->setObjectName(QStringLiteral("cmdSaveLog"));

    auto* logBox = new QGroupBox(QStringLiteral("Recent exchanges"));
    auto* logLayout = new QVBoxLayout(logBox);
    auto* header = new QLabel(LinkMonitor::logHeader());
    header->setFont(txtLog->font());
    // The heading scrolls with nothing: on a narrow screen it is cut, not the window widened.
    header->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    header->setMinimumWidth(0);
    logLayout->addWidget(header);
    logLayout->addWidget(txtLog, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdPause);
    buttons->addWidget(cmdClear);
    buttons->addStretch(1);
    buttons->addWidget(cmdSaveLog);
    logLayout->addLayout(buttons);
    return logBox;
}

frmLinkMonitor::~frmLinkMonitor()
{
    if (m_rs.monitor() == &m_monitor)
        m_rs.setMonitor(nullptr);
}

void frmLinkMonitor::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    refresh();
    m_timer.start();
}

void frmLinkMonitor::hideEvent(QHideEvent* event)
{
    m_timer.stop();
    QWidget::hideEvent(event);
}

int frmLinkMonitor::currentBaud() const
{
    const SerialPortControl* port = m_rs.port();
    return port ? port->settings().section(QLatin1Char(','), 0, 0).toInt() : 0;
}

void frmLinkMonitor::refresh()
{
    const LinkMonitor::Counters& c = m_monitor.counters();
    const QDateTime since = m_monitor.onlineSince();
    lblOnlineSince->setText(
        since.isValid() ? since.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : QStringLiteral("-"));
    lblExchanges->setText(QString::number(c.exchanges));
    lblBytesOut->setText(QString::number(c.bytesOut));
    lblBytesIn->setText(QString::number(c.bytesIn));
    lblFirstWindowTimeouts->setText(QString::number(c.firstWindowTimeouts));
    lblResynchronisations->setText(QString::number(c.resynchronisations));
    lblEchoMismatches->setText(QString::number(c.echoMismatches));
    lblRepeatedWrites->setText(QString::number(c.repeatedWrites));
    lblFailedReads->setText(QString::number(c.failedReads));
    lblLinkFailures->setText(QString::number(c.linkFailures));

    // Exchanges per second over the time since the last refresh.
    if (m_rateClock.isValid() && c.exchanges >= m_rateExchanges && m_rateClock.elapsed() > 0) {
        const double rate = double(c.exchanges - m_rateExchanges) * 1000.0 / double(m_rateClock.elapsed());
        lblRate->setText(QString::number(rate, 'f', 0));
    } else {
        lblRate->setText(QStringLiteral("-"));
    }
    m_rateClock.start();
    m_rateExchanges = c.exchanges;

    const LinkMonitor::ReplyTimes t = m_monitor.replyTimes();
    lblReplyTimes->setText(t.samples == 0 ? QStringLiteral("-")
                                          : milliseconds(t.medianNs) + QStringLiteral(" / ")
                + milliseconds(t.p95Ns) + QStringLiteral(" / ") + milliseconds(t.maxNs));
    const int baud = currentBaud();
    lblWireFloor->setText(baud > 0 ? milliseconds(LinkMonitor::wireFloorNs(baud))
                + QStringLiteral(" ms an exchange at %1 baud").arg(baud)
                                   : QStringLiteral("-"));

    if (cmdPause->isChecked())
        return;
    const quint64 fresh = m_monitor.logged() - m_shownLogged;
    m_shownLogged = m_monitor.logged();
    if (fresh == 0)
        return;
    const std::vector<LinkMonitor::Exchange> log = m_monitor.log();
    const size_t count = size_t(std::min<quint64>(fresh, log.size()));
    QStringList lines;
    lines.reserve(qsizetype(count));
    for (size_t i = log.size() - count; i < log.size(); ++i)
        lines.append(m_monitor.formatExchange(log[i]));
    txtLog->appendPlainText(lines.join(QLatin1Char('\n')));
}

void frmLinkMonitor::clearLog()
{
    m_monitor.clearLog();
    m_shownLogged = m_monitor.logged();
    txtLog->clear();
}

void frmLinkMonitor::saveLog()
{
    FileDialogRequest request;
    request.title = QStringLiteral("Save Log");
    request.filter = QStringLiteral("Log Files (*.log)|*.log|Text Files (*.txt)|*.txt|All Files (*.*)|*.*");
    request.defaultExt = QStringLiteral("log");
    request.fileName = QStringLiteral("talvek-link.log");
    request.overwritePrompt = true;
    QByteArray text = LinkMonitor::logHeader().toLatin1() + kLineEnd;
    for (const LinkMonitor::Exchange& e : m_monitor.log())
        text += m_monitor.formatExchange(e).toLatin1() + kLineEnd;
    const Export saved = exportToFile(m_prompter, request, text);
    if (!saved.written && saved.written.cause() == Cause::BadFile) {
        m_prompter.msgBox(QStringLiteral("The log could not be saved to ") + QDir::toNativeSeparators(saved.path)
                + QStringLiteral(".\r\n\r\n") + saved.written.error().detail,
            kTitle, MsgIcon::Exclamation, MsgButtons::OK);
    }
}

} // namespace talvek
