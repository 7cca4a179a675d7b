#include "windows/JournalTableWindow.h"

#include "base/Prompter.h"
#include "shared/ExportFile.h"
#include "shared/JournalReports.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace talvek {

namespace {

const QString kAllPresses = QStringLiteral("All presses");

QString localTime(const QDateTime& t)
{
    return t.isValid() ? t.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : QString();
}

QDateTimeEdit* dateField(const QDateTime& value, const char* name, QWidget* parent)
{
    auto* edit = new QDateTimeEdit(value, parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setCalendarPopup(true);
    edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm"));
    return edit;
}

QLabel* caption(const QString& text, QWidget* buddy, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

} // namespace

void fillPressChoice(QComboBox* box, Journal& journal)
{
    const QString current = box->currentText();
    box->clear();
    box->addItem(kAllPresses);
    box->addItems(journal.presses().valueOr({}));
    const int index = box->findText(current);
    box->setCurrentIndex(index < 0 ? 0 : index);
}

JournalTableWindow::JournalTableWindow(Journal& journal, Prompter& prompter, const QString& title,
    const QStringList& columns, const QString& csvName, QWidget* parent)
    : QDialog(parent)
    , m_journal(journal)
    , m_prompter(prompter)
    , m_csvName(csvName)
    , m_from(dateField(QDateTime::currentDateTime().addDays(-7), "txtFrom", this))
    , m_to(dateField(QDateTime::currentDateTime().addDays(1), "txtTo", this))
    , m_text(new QLineEdit(this))
    , m_press(new QComboBox(this))
    , m_table(new QTableWidget(this))
    , m_status(new QLabel(this))
{
    setWindowTitle(title);
    m_text->setObjectName(QStringLiteral("txtFilter"));
    m_press->setObjectName(QStringLiteral("cboPress"));
    m_table->setObjectName(QStringLiteral("grdRows"));
    m_status->setObjectName(QStringLiteral("lblStatus"));
    m_table->setColumnCount(int(columns.size()));
    m_table->setHorizontalHeaderLabels(columns);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->verticalHeader()->hide();

    auto* refresh = new QPushButton(QStringLiteral("&Refresh"), this);
    refresh->setObjectName(QStringLiteral("cmdRefresh"));
    refresh->setDefault(true);
    auto* exportButton = new QPushButton(QStringLiteral("&Export CSV..."), this);
    exportButton->setObjectName(QStringLiteral("cmdExport"));
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("cmdClose"));

    auto* filters = new QHBoxLayout;
    filters->addWidget(caption(QStringLiteral("&From:"), m_from, this));
    filters->addWidget(m_from);
    filters->addWidget(caption(QStringLiteral("&To:"), m_to, this));
    filters->addWidget(m_to);
    filters->addWidget(caption(QStringLiteral("Te&xt:"), m_text, this));
    filters->addWidget(m_text, 1);
    filters->addWidget(caption(QStringLiteral("&Press:"), m_press, this));
    filters->addWidget(m_press);
    filters->addWidget(refresh);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_status, 1);
    buttons->addWidget(exportButton);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(m_table, 1);
    layout->addLayout(buttons);
    resize(900, 480);

    connect(refresh, &QPushButton::clicked, this, &JournalTableWindow::refresh);
    connect(m_text, &QLineEdit::returnPressed, this, &JournalTableWindow::refresh);
    connect(exportButton, &QPushButton::clicked, this, &JournalTableWindow::exportCsv);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    fillPressChoice(m_press, m_journal);
}

JournalFilter JournalTableWindow::filter() const
{
    JournalFilter f;
    f.from = m_from->dateTime().toUTC();
    f.to = m_to->dateTime().toUTC();
    f.text = m_text->text().trimmed();
    if (m_press->currentIndex() > 0)
        f.press = m_press->currentText();
    return f;
}

void JournalTableWindow::refresh()
{
    const Result<Table> result = query(filter());
    m_table->setRowCount(0);
    m_csv.clear();
    if (!result) {
        m_status->setText(QStringLiteral("The journal cannot be read: ") + m_journal.statusText());
        return;
    }
    m_csv = result->csv;
    m_table->setRowCount(int(result->rows.size()));
    for (int r = 0; r < int(result->rows.size()); ++r) {
        const QStringList& row = result->rows[r];
        for (int c = 0; c < int(row.size()); ++c)
            m_table->setItem(r, c, new QTableWidgetItem(row[c]));
    }
    m_table->resizeColumnsToContents();
    m_status->setText(result->rows.size() == 1 ? QStringLiteral("1 row")
                                               : QStringLiteral("%1 rows").arg(result->rows.size()));
}

void JournalTableWindow::exportCsv()
{
    if (m_csv.isEmpty())
        refresh();
    FileDialogRequest request;
    request.title = QStringLiteral("Export CSV");
    request.filter = QStringLiteral("CSV Files (*.csv)|*.csv|All Files (*.*)|*.*");
    request.fileName = m_csvName;
    request.defaultExt = QStringLiteral("csv");
    request.overwritePrompt = true;
    if (const QString failed = exportFailureText(exportToFile(m_prompter, request, m_csv.toUtf8())); !failed.isEmpty())
        m_prompter.msgBox(failed, windowTitle(), MsgIcon::Exclamation, MsgButtons::OK);
}

frmAlarmHistory::frmAlarmHistory(Journal& journal, Prompter& prompter, QWidget* parent)
    : JournalTableWindow(journal, prompter, QStringLiteral("Alarm History"),
        { QStringLiteral("Raised"), QStringLiteral("Cleared"), QStringLiteral("How long"), QStringLiteral("Press"),
            QStringLiteral("Alarm") },
        QStringLiteral("alarm-history.csv"), parent)
{
    setObjectName(QStringLiteral("frmAlarmHistory"));
    refresh();
}

Result<JournalTableWindow::Table> frmAlarmHistory::query(const JournalFilter& filter)
{
    const Result<QList<AlarmSpan>> spans = journal().alarmHistory(filter);
    if (!spans)
        return spans.error();
    Table t;
    for (const AlarmSpan& s : *spans) {
        t.rows << QStringList { localTime(s.raised),
            s.cleared.isValid() ? localTime(s.cleared) : QStringLiteral("(standing)"), durationText(s.seconds),
            s.press, s.text };
    }
    t.csv = alarmsCsv(*spans);
    return t;
}

frmChangeLog::frmChangeLog(Journal& journal, Prompter& prompter, QWidget* parent)
    : JournalTableWindow(journal, prompter, QStringLiteral("Change Log"),
        { QStringLiteral("Time"), QStringLiteral("Press"), QStringLiteral("User"), QStringLiteral("Address"),
            QStringLiteral("Parameter"), QStringLiteral("Before"), QStringLiteral("After"), QStringLiteral("Source"),
            QStringLiteral("Outcome") },
        QStringLiteral("change-log.csv"), parent)
{
    setObjectName(QStringLiteral("frmChangeLog"));
    refresh();
}

Result<JournalTableWindow::Table> frmChangeLog::query(const JournalFilter& filter)
{
    const Result<QList<WriteRow>> writes = journal().changeLog(filter);
    if (!writes)
        return writes.error();
    Table t;
    for (const WriteRow& w : *writes) {
        t.rows << QStringList { localTime(w.at), w.press, w.user, w.address, w.parameter,
            w.valueBefore.value_or(QString()), w.valueAfter, w.source, w.outcome };
    }
    t.csv = writesCsv(*writes);
    return t;
}

} // namespace talvek
