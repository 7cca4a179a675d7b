#pragma once

#include "shared/SetupCompare.h"

#include <QDialog>
#include <QPointer>
#include <memory>

class QLabel;
class QPushButton;
class QTableWidget;

namespace talvek {

class RefreshLoop;
struct ShellContext;

// The compare: one table of the set-up parameters and the timing channels,
// the working data beside the controller (or one set-up file beside
// another), differences marked, values that could not be read marked as
// not read. Against the controller the operator can download the selected
// rows, or take the controller's values of them into the working data.
//
// Modal over the main window; the shown child window's refresh loop waits
// while it is open, as it does under a data transfer.
class frmCompare final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmCompare)

public:
    // Against the controller: reads when shown.
    frmCompare(ShellContext& shell, QWidget* parent = nullptr);
    // One set-up file against another: the columns "First File" and "Second
    // File", the paths in their tool tips.
    frmCompare(ShellContext& shell, const MachineData& first, const QString& firstPath,
        const MachineData& second, const QString& secondPath, QWidget* parent = nullptr);
    ~frmCompare() override;

    const SetupCompare& compare() const { return m_compare; }
    bool againstController() const { return m_controller; }
    // Table rows selected (indexes into compare().rows()), in table order.
    QList<int> selectedRows() const;

    // Reads the controller again and redraws the table.
    void readController();
    void selectDifferences();
    void downloadSelected();
    void takeSelected();

    // Columns of the table.
    enum Column
    {
        ColGroup,
        ColCaption,
        ColAddress,
        ColWorking,
        ColOther,
        ColState,
        ColumnCount
    };
    // The state column's text of a row: "", "differs", "not read (silent line)".
    static QString stateText(const CompareRow& row);

    // ---- controls ----
    QLabel* lblSummary;
    QTableWidget* grdCompare;
    QPushButton* cmdSelectDifferences;
    QPushButton* cmdDownload;
    QPushButton* cmdTake;
    QPushButton* cmdReadAgain;
    QPushButton* cmdClose;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void build(const QString& workingTitle, const QString& otherTitle);
    void fillTable();
    // The columns as wide as their texts; on a narrow screen the state, the
    // caption and the group give way so that the values stay in view.
    void fitColumns();
    void updateButtons();
    // After a read that left CommError set, the program goes OFFLINE.
    void dropOfflineOnLinkFault();

    ShellContext& m_shell;
    SetupCompare m_compare;
    bool m_controller;
    bool m_readOnShow;
    QPointer<RefreshLoop> m_pausedLoop;
    bool m_loopStepped = false;
};

// File > "Compare with &Controller...": the working data against the
// controller (ONLINE only; nothing happens while a controller operation is
// under way).
void mnuFileCompareController_Click(ShellContext& shell);
// File > "Compare &Files...": asks for two set-up files and compares them.
void mnuFileCompareFiles_Click(ShellContext& shell);

} // namespace talvek
