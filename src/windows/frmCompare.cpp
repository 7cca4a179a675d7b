#include "windows/frmCompare.h"

#include "base/Prompter.h"
#include "link/RSComm.h"
#include "shared/ChannelRecall.h"
#include "shared/RefreshLoop.h"
#include "shared/SetupFile.h"
#include "shared/SetupFileCommands.h"
#include "shared/modUtility.h"
#include "windows/FormUtility.h"
#include "windows/PaletteColours.h"
#include "windows/ShellContext.h"
#include "windows/frmMDIMain.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace talvek {

namespace {

const QString kCrLf = QStringLiteral("\r\n");

QString groupTitle(CompareScope group)
{
    return group == CompareScope::SetupParameters ? QStringLiteral("Set-up Parameters")
                                                  : QStringLiteral("Timing Channels");
}

QPushButton* button(const QString& caption, const char* name)
{
    auto* b = new QPushButton(caption);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

} // namespace

frmCompare::frmCompare(ShellContext& shell, QWidget* parent)
    : QDialog(parent)
    , m_shell(shell)
    , m_compare(CurrentData, CompareScope::All)
    , m_controller(true)
    , m_readOnShow(true)
{
    build(QStringLiteral("Working Data"), QStringLiteral("Controller"));
    m_compare.setFileName(shell.globals.gFileNamePath);
    // The shown child window waits: its reads would interleave with ours.
    m_pausedLoop = RefreshLoop::of(shell.main.currentChild());
    m_loopStepped = m_pausedLoop && m_pausedLoop->autoStep();
    if (m_pausedLoop)
        m_pausedLoop->setAutoStep(false);
}

frmCompare::frmCompare(ShellContext& shell, const MachineData& first, const QString& firstPath,
    const MachineData& second, const QString& secondPath, QWidget* parent)
    : QDialog(parent)
    , m_shell(shell)
    , m_compare(first, CompareScope::All)
    , m_controller(false)
    , m_readOnShow(false)
{
    m_compare.compareWith(second);
    build(firstPath, secondPath);
    fillTable();
}

frmCompare::~frmCompare()
{
    if (m_pausedLoop && m_loopStepped)
        m_pausedLoop->setAutoStep(true);
}

void frmCompare::build(const QString& workingTitle, const QString& otherTitle)
{
    setObjectName(QStringLiteral("frmCompare"));
    setWindowTitle(m_controller ? QStringLiteral("Compare with Controller") : QStringLiteral("Compare Files"));
    setWindowModality(Qt::ApplicationModal);

    lblSummary = new QLabel(this);
    lblSummary->setObjectName(QStringLiteral("lblSummary"));
    auto* lblValues = new QLabel(QStringLiteral("&Values:"), this);
    lblValues->setObjectName(QStringLiteral("lblValues"));
    grdCompare = new QTableWidget(0, ColumnCount, this);
    grdCompare->setObjectName(QStringLiteral("grdCompare"));
    lblValues->setBuddy(grdCompare);
    if (m_controller) {
        grdCompare->setHorizontalHeaderLabels({ QStringLiteral("Group"), QStringLiteral("Parameter"),
            QStringLiteral("Address"), workingTitle, otherTitle, QString() });
    } else {
        // Two files may share a name: the columns say which was chosen first,
        // their tool tips the whole path.
        grdCompare->setHorizontalHeaderLabels(
            { QStringLiteral("Group"), QStringLiteral("Parameter"), QStringLiteral("Address"),
                QStringLiteral("First File"), QStringLiteral("Second File"), QString() });
        grdCompare->horizontalHeaderItem(ColWorking)->setToolTip(QDir::toNativeSeparators(workingTitle));
        grdCompare->horizontalHeaderItem(ColOther)->setToolTip(QDir::toNativeSeparators(otherTitle));
    }
    grdCompare->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdCompare->setSelectionMode(QAbstractItemView::ExtendedSelection);
    grdCompare->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Tab leaves the table for the buttons.
    grdCompare->setTabKeyNavigation(false);
    grdCompare->verticalHeader()->setVisible(false);
    grdCompare->horizontalHeader()->setStretchLastSection(false);
    grdCompare->viewport()->installEventFilter(this);
    connect(grdCompare, &QTableWidget::itemSelectionChanged, this, &frmCompare::updateButtons);

    cmdSelectDifferences = button(QStringLiteral("Select &Differences"), "cmdSelectDifferences");
    cmdDownload = button(QStringLiteral("Down&load Selected"), "cmdDownload");
    cmdTake = button(QStringLiteral("&Take Selected"), "cmdTake");
    cmdReadAgain = button(QStringLiteral("&Read Again"), "cmdReadAgain");
    cmdClose = button(QStringLiteral("Cl&ose"), "cmdClose");
    cmdDownload->setToolTip(QStringLiteral("Send the working data's values of the selected rows to the controller"));
    cmdTake->setToolTip(QStringLiteral("Take the controller's values of the selected rows into the working data"));
    // Enter alone never writes to the controller: it selects the differences.
    cmdSelectDifferences->setDefault(true);
    for (QPushButton* b : { cmdDownload, cmdTake, cmdReadAgain })
        b->setVisible(m_controller);
    connect(cmdSelectDifferences, &QPushButton::clicked, this, &frmCompare::selectDifferences);
    connect(cmdDownload, &QPushButton::clicked, this, &frmCompare::downloadSelected);
    connect(cmdTake, &QPushButton::clicked, this, &frmCompare::takeSelected);
    connect(cmdReadAgain, &QPushButton::clicked, this, &frmCompare::readController);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : { cmdSelectDifferences, cmdDownload, cmdTake, cmdReadAgain })
        buttons->addWidget(b);
    buttons->addStretch(1);
    buttons->addWidget(cmdClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblSummary);
    layout->addWidget(lblValues);
    layout->addWidget(grdCompare, 1);
    layout->addLayout(buttons);
    resize(900, 620);
    grdCompare->setFocus();
    updateButtons();
}

void frmCompare::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    CenterForm(this);
    if (m_readOnShow) {
        m_readOnShow = false;
        // Once the window is up, from the event loop.
        QTimer::singleShot(0, this, &frmCompare::readController);
    }
}

void frmCompare::readController()
{
    RSComm& rs = m_shell.rs;
    // OFFLINE (the link failed under the window) the table keeps what it
    // showed; nothing is read through a closed port.
    if (!m_controller || rs.isBusy() || !rs.OnlineMode) {
        updateButtons();
        return;
    }
    lblSummary->setText(QStringLiteral("Reading the controller, please standby..."));
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const Status read = m_compare.readController(rs);
    QApplication::restoreOverrideCursor();
    if (!read && read.cause() == Cause::BadFile) {
        // Rows that name no parameter address: nothing was read.
        m_shell.prompter.msgBox(read.error().detail, kAppTitle, MsgIcon::Exclamation, MsgButtons::OK);
    }
    fillTable();
    dropOfflineOnLinkFault();
}

void frmCompare::dropOfflineOnLinkFault()
{
    if (m_shell.rs.CommError && m_shell.rs.OnlineMode)
        m_shell.mode.setMode(false);
    updateButtons();
}

QString frmCompare::stateText(const CompareRow& row)
{
    switch (row.state) {
    case CompareRow::State::Same:
        return {};
    case CompareRow::State::Differs:
        return QStringLiteral("differs");
    case CompareRow::State::Failed:
        return row.failure ? QStringLiteral("not read (%1)").arg(causeText(row.failure->cause))
                           : QStringLiteral("not read");
    case CompareRow::State::PulseTrain:
        return QStringLiteral("note: a set-up file cannot hold a pulse train");
    }
    return {};
}

void frmCompare::fillTable()
{
    const QList<CompareRow>& rows = m_compare.rows();
    grdCompare->clearContents();
    grdCompare->setRowCount(int(rows.size()));
    for (int r = 0; r < rows.size(); ++r) {
        const CompareRow& row = rows[r];
        const QStringList texts { groupTitle(row.group), row.caption, row.address, row.working,
            row.state == CompareRow::State::Failed ? QStringLiteral("not read") : row.other, stateText(row) };
        for (int c = 0; c < ColumnCount; ++c) {
            auto* item = new QTableWidgetItem(texts[c]);
            // A caption or state cut short on a narrow screen reads whole here.
            if (c == ColCaption || c == ColState)
                item->setToolTip(texts[c]);
            if (row.state != CompareRow::State::Same) {
                // Chosen against the table's palette: readable light or dark.
                const MarkColours mark = markColours(grdCompare->palette(),
                    row.state == CompareRow::State::Differs ? RowMark::Differs : RowMark::Failed);
                item->setBackground(mark.background);
                item->setForeground(mark.text);
                QFont bold = item->font();
                bold.setBold(true);
                item->setFont(bold);
            }
            grdCompare->setItem(r, c, item);
        }
    }
    fitColumns();

    const int differing = m_compare.differences();
    const int failed = m_compare.failures();
    QString summary = differing == 0 ? QStringLiteral("No value differs")
        : differing == 1             ? QStringLiteral("1 value differs")
                                     : QStringLiteral("%1 values differ").arg(differing);
    summary += QStringLiteral(" (of %1)").arg(rows.size());
    if (failed > 0)
        summary += QStringLiteral("; %1 could not be read, so they are neither same nor different").arg(failed);
    if (m_controller && !m_compare.pulseTrains().isEmpty())
        summary += QStringLiteral("; the controller holds pulse trains a set-up file cannot hold");
    lblSummary->setText(summary + QLatin1Char('.'));
    updateButtons();
}

void frmCompare::fitColumns()
{
    const int room = grdCompare->viewport()->width();
    std::array<int, ColumnCount> width {};
    int total = 0;
    for (int c = 0; c < ColumnCount; ++c) {
        grdCompare->resizeColumnToContents(c); // its texts and its title
        width[size_t(c)] = grdCompare->columnWidth(c);
        total += width[size_t(c)];
    }
    if (total > room) {
        // On a narrow screen the caption, the group and the state give way
        // (their texts cut short, whole in the tool tip) before the values
        // and "differs" would go behind a scroll bar.
        const int differs = grdCompare->fontMetrics().horizontalAdvance(QStringLiteral("differs")) + 16;
        int excess = total - room;
        for (const int c : { int(ColCaption), int(ColGroup), int(ColState) }) {
            const int least = std::max(grdCompare->horizontalHeader()->sectionSizeHint(c),
                c == ColState ? differs : width[size_t(c)] / 3);
            const int take = std::min(excess, std::max(0, width[size_t(c)] - least));
            width[size_t(c)] -= take;
            excess -= take;
        }
    } else {
        // The state column reaches the table's edge.
        width[ColState] += room - total;
    }
    for (int c = 0; c < ColumnCount; ++c)
        grdCompare->setColumnWidth(c, width[size_t(c)]);
}

bool frmCompare::eventFilter(QObject* watched, QEvent* event)
{
    // The table's room changes with the window and with its vertical scroll
    // bar coming and going.
    if (watched == grdCompare->viewport() && event->type() == QEvent::Resize)
        fitColumns();
    return QDialog::eventFilter(watched, event);
}

QList<int> frmCompare::selectedRows() const
{
    QList<int> rows;
    for (const QModelIndex& index : grdCompare->selectionModel()->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void frmCompare::selectDifferences()
{
    grdCompare->clearSelection();
    const QList<CompareRow>& rows = m_compare.rows();
    QItemSelection selection;
    for (int r = 0; r < rows.size(); ++r) {
        if (rows[r].state == CompareRow::State::Differs)
            selection.select(grdCompare->model()->index(r, 0), grdCompare->model()->index(r, ColumnCount - 1));
    }
    grdCompare->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    grdCompare->setFocus();
}

void frmCompare::updateButtons()
{
    const RSComm& rs = m_shell.rs;
    const bool online = m_controller && rs.OnlineMode && !rs.CommError;
    const QList<int> selected = selectedRows();
    const bool anyRead = std::any_of(selected.cbegin(), selected.cend(),
        [this](int i) { return m_compare.rows().value(i).state != CompareRow::State::Failed; });
    cmdDownload->setEnabled(online && !selected.isEmpty());
    cmdTake->setEnabled(m_controller && anyRead);
    cmdReadAgain->setEnabled(online);
    cmdSelectDifferences->setEnabled(m_compare.differences() > 0);
}

void frmCompare::downloadSelected()
{
    RSComm& rs = m_shell.rs;
    const QList<int> selected = selectedRows();
    if (!m_controller || selected.isEmpty() || rs.isBusy() || !rs.OnlineMode || rs.CommError)
        return;
    DataTransfer::Report report;
    const Status sent
        = downloadCompareRows(rs, m_shell.prompter, m_compare, selected, m_shell.globals.gFileNameCaption, &report);
    if (!sent && (sent.cause() == Cause::Cancelled || sent.cause() == Cause::EntryRefused))
        return;
    if (report.refusedRow) {
        m_shell.prompter.msgBox(sent.error().detail, kAppTitle, MsgIcon::Exclamation, MsgButtons::OK);
        return;
    }
    if (!sent) {
        m_shell.prompter.msgBox(QStringLiteral("Error Processing Request\r\n\r\nProcess Not Complete"), kAppTitle,
            MsgIcon::Exclamation, MsgButtons::OK);
    }
    // The table shows what the controller holds now, read again.
    readController();
}

void frmCompare::takeSelected()
{
    const QList<int> selected = selectedRows();
    QList<int> trains;
    for (const int i : selected) {
        const CompareRow& row = m_compare.rows().value(i);
        if (row.kind == CompareRow::Kind::Channel && m_compare.pulseTrains().contains(row.index))
            trains.append(row.index);
    }
    if (m_compare.takeInto(CurrentData, selected) > 0) {
        // As after an upload: the working data has changed under the editors.
        DataReloaded = true;
        m_shell.globals.gUploadNOW = generalDateText(QDateTime::currentDateTime());
    }
    fillTable();
    if (!trains.isEmpty()) {
        m_shell.prompter.msgBox(
            pulseTrainNotice(trains), QStringLiteral("Data Upload"), MsgIcon::Information, MsgButtons::OK);
    }
}

// ---------------------------------------------------------------------------
// The File menu's compare commands

void mnuFileCompareController_Click(ShellContext& shell)
{
    if (!shell.rs.OnlineMode || shell.rs.isBusy())
        return;
    auto* window = new frmCompare(shell, &shell.main);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
}

namespace {

// One set-up file chosen and read; nothing when cancelled or unreadable
// (the operator has been told why).
std::optional<MachineData> chooseSetupFile(ShellContext& shell, const QString& which, const QString& start,
    QString& chosenPath)
{
    FileDialogRequest request;
    request.title = QStringLiteral("Compare Files - ") + which;
    request.filter = SetupFileCommands::kDialogFilter;
    request.fileName = start;
    request.fileMustExist = true;
    const std::optional<QString> chosen = shell.prompter.openFileName(request);
    if (!chosen || chosen->isEmpty())
        return std::nullopt;
    MachineData record;
    QString reason;
    if (!readSetupFile(*chosen, record, &reason)) {
        shell.prompter.msgBox(QStringLiteral("The set-up file could not be opened:") + kCrLf + *chosen + kCrLf
                + kCrLf + reason,
            kAppTitle, MsgIcon::Exclamation, MsgButtons::OK);
        return std::nullopt;
    }
    // As Open takes a file: the rows of this program's table.
    record.resizeTables(ParamCount);
    chosenPath = *chosen;
    return record;
}

} // namespace

void mnuFileCompareFiles_Click(ShellContext& shell)
{
    QString firstPath;
    const std::optional<MachineData> first
        = chooseSetupFile(shell, QStringLiteral("First File"), shell.globals.gFileNamePath, firstPath);
    if (!first)
        return;
    QString secondPath;
    const std::optional<MachineData> second = chooseSetupFile(
        shell, QStringLiteral("Second File"), QFileInfo(firstPath).path() + QStringLiteral("/*.sdt"), secondPath);
    if (!second)
        return;
    auto* window = new frmCompare(shell, *first, firstPath, *second, secondPath, &shell.main);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
}

} // namespace talvek
