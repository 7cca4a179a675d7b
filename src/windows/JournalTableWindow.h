#pragma once

#include "base/Outcome.h"
#include "shared/Journal.h"

#include <QDialog>
#include <QStringList>

class QComboBox;
class QDateTimeEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace talvek {

class Prompter;

// A window over one kind of journal rows: a date range, a text and a press
// to filter by, the rows in a table, and "Export CSV...". The query, the
// table's rows and the CSV text come from the journal's own classes; the
// window only binds them to its controls.
class JournalTableWindow : public QDialog
{
    Q_OBJECT

public:
    // What one query gives: the table's rows and the same rows as CSV.
    struct Table
    {
        QList<QStringList> rows;
        QString csv;
    };

    JournalTableWindow(Journal& journal, Prompter& prompter, const QString& title, const QStringList& columns,
        const QString& csvName, QWidget* parent);

    // Runs the query with the filter shown and fills the table.
    void refresh();
    JournalFilter filter() const;
    QTableWidget* table() const { return m_table; }

protected:
    virtual Result<Table> query(const JournalFilter& filter) = 0;
    Journal& journal() { return m_journal; }

private:
    void exportCsv();

    Journal& m_journal;
    Prompter& m_prompter;
    QString m_csvName;
    QString m_csv;
    QDateTimeEdit* m_from;
    QDateTimeEdit* m_to;
    QLineEdit* m_text;
    QComboBox* m_press;
    QTableWidget* m_table;
    QLabel* m_status;
};

// The alarms raised and cleared, how long each stood.
class frmAlarmHistory final : public JournalTableWindow
{
    Q_OBJECT

public:
    frmAlarmHistory(Journal& journal, Prompter& prompter, QWidget* parent);

protected:
    Result<Table> query(const JournalFilter& filter) override;
};

// Every write to the controller: where, what, before and after, who and how it ended.
class frmChangeLog final : public JournalTableWindow
{
    Q_OBJECT

public:
    frmChangeLog(Journal& journal, Prompter& prompter, QWidget* parent);

protected:
    Result<Table> query(const JournalFilter& filter) override;
};

// The press filter's choices: "All presses" and each press the journal knows.
void fillPressChoice(QComboBox* box, Journal& journal);

} // namespace talvek
