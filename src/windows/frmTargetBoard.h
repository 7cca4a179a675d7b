#pragma once

#include "shared/NumericEntry.h"
#include "shared/TargetBoardStatus.h"
#include "windows/ChildWindow.h"

#include <QDateTime>
#include <QDialog>
#include <QString>
#include <array>
#include <functional>
#include <memory>

class QFrame;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabBar;

namespace talvek {

class NumericField;
class OnlineModeSwitch;
class ProgramFolder;
class Prompter;
class RSComm;
class UpDown;

// "Target Board Interface": the state of the connected target board. Its fault
// and communication error codes with their descriptions and a corrective
// action, the program it holds beside a program file set on disk, its network
// address and, on the boards with a real-time clock (R6016 "6", V5510 "A"),
// its time and date.
//
// Opened with InitializeForm; modal. The panel draws what its
// TargetBoardStatus publishes and hands it the operator's actions; the panel's
// refresh loop has the status poll the board while the panel is open. The object
// and its program data persist between openings; the controls start from
// their design state at every opening.
class frmTargetBoard final : public ChildWindow<QDialog>
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmTargetBoard)

public:
    static constexpr int kFieldCount = TargetBoardState::kFieldCount;
    static constexpr int kPageCount = 4;

    frmTargetBoard(Prompter& prompter, RSComm& rs, OnlineModeSwitch& mode, const ProgramFolder& folder,
        QWidget* parent = nullptr);
    ~frmTargetBoard() override;

    // Loads the panel's data for the program file set of NorvikFile and shows
    // the panel (modal; it runs until "&Ok"). A fault reading the set is
    // reported under "InitializeForm" and the panel is not shown: false.
    bool InitializeForm(const QString& NorvikFile);

    // ---- controls, named as the form names them ----
    QTabBar* tabTargetBoard;
    std::array<QFrame*, kPageCount> fraTargetBoard {};
    std::array<QGroupBox*, 5> fraDescription {};
    std::array<QLabel*, 14> lblTargetBoard {};
    // Index 2 does not exist (nullptr).
    std::array<QPlainTextEdit*, 6> txtTargetBoard {};
    std::array<QLabel*, 3> lblRevIdentInPLC {};
    std::array<QLabel*, 5> lblRevIdentOnDisk {};
    std::array<QLabel*, kFieldCount> lblSetupDesc {};
    std::array<QLineEdit*, kFieldCount> txtSetup {};
    std::array<UpDown*, kFieldCount> updSetup {};
    QLabel* lblNetworkAddComment;
    QLabel* lblTargetBoardTime;
    QLabel* lblTargetBoardDate;
    QLabel* lblCurrTimeDesc;
    QLabel* lblCurrTime;
    QLabel* lblCurrDateDesc;
    QLabel* lblCurrDate;
    std::array<QLabel*, 2> lblTimeDateNote {};
    QPushButton* cmdSetToCurrTime;
    QPushButton* cmdSetToCurrDate;
    QPushButton* cmdResetFaults;
    QPushButton* cmdGoOnline;
    QPushButton* cmdOk;
    QPushButton* cmdDefault;

    // ---- state, for the main window and tests ----
    NumericField& field(int i) { return *m_fields.at(size_t(i)); }
    bool running() const { return m_status.running(); }
    // The PC clock read for the clock labels and the "Set to Current" buttons.
    void setWallClock(std::function<QDateTime()> now) { m_status.setWallClock(std::move(now)); }

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

public slots:
    void reject() override;

private:
    void buildFields();
    QWidget* buildTabs();
    void buildFaultPage();
    void buildIdentPage();
    void buildNetworkPage();
    void buildClockPage();
    void buildButtons(QWidget* pages);
    QHBoxLayout* fieldBox(int i) const;
    void Form_Load();
    void Form_Activate();
    void Form_Unload();
    void draw(const TargetBoardState& s);
    void drawField(int i, const QString& text);
    void tabTargetBoard_Click(int index);
    void showPage(int page);
    void cmdResetFaults_Click();
    void cmdOk_Click();

    Prompter& m_prompter;
    TargetBoardStatus m_status;
    NumericEntryForm m_form;
    std::array<std::unique_ptr<NumericField>, kFieldCount> m_fields;
};

} // namespace talvek
