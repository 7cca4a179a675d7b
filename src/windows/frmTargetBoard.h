#pragma once

#include "NumericEntry.h"
#include "RefreshLoop.h"

#include <QDateTime>
#include <QDialog>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <vector>

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
// Opened with InitializeForm; modal. While it is open it polls the board in a
// loop of its own (a first pass of codes and ident after every return to
// online, then the entry fields every cycle); opening it brings the link
// online. The object and its program data persist between openings; the
// controls start from their design state at every opening.
class frmTargetBoard final : public QDialog, private RefreshClient
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmTargetBoard)

public:
    static constexpr int FieldCount = 8;
    static constexpr int PageCount = 4;
    // Controller addresses of the entry fields 0..7.
    static const std::array<const char*, FieldCount> FieldAddresses;

    frmTargetBoard(Prompter& prompter, RSComm& rs, OnlineModeSwitch& mode, const ProgramFolder& folder,
        QWidget* parent = nullptr);
    ~frmTargetBoard() override;

    // Loads the panel's data for the program file set of NorvikFile and shows
    // the panel (modal; it runs until "&Ok"). A fault reading the set is
    // reported under "InitializeForm" and the panel is not shown: false.
    bool InitializeForm(const QString& NorvikFile);

    // The corrective action for a last-fault code value.
    static QString CorrectiveAction(int code);

    // ---- controls, named as the form names them ----
    QTabBar* tabTargetBoard;
    std::array<QFrame*, PageCount> fraTargetBoard {};
    std::array<QGroupBox*, 5> fraDescription {};
    std::array<QLabel*, 14> lblTargetBoard {};
    // Index 2 does not exist (nullptr).
    std::array<QPlainTextEdit*, 6> txtTargetBoard {};
    std::array<QLabel*, 3> lblRevIdentInPLC {};
    std::array<QLabel*, 5> lblRevIdentOnDisk {};
    std::array<QLabel*, FieldCount> lblSetupDesc {};
    std::array<QLineEdit*, FieldCount> txtSetup {};
    std::array<UpDown*, FieldCount> updSetup {};
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
    RefreshLoop& refreshLoop() { return *m_loop; }
    NumericField& field(int i) { return *m_fields.at(size_t(i)); }
    qint16 boardCode() const { return m_boardCode; }
    bool running() const { return m_running; }
    bool firstPassDone() const { return m_firstPassDone; }
    // The PC clock read for the clock labels and the "Set to Current" buttons.
    void setWallClock(std::function<QDateTime()> now) { m_now = std::move(now); }

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

public slots:
    void reject() override;

private:
    // One step of the online pass.
    enum class Step
    {
        Register, // first pass: a fault or error register (arg: position 0..5)
        Describe, // first pass: descriptions, CO-CPU slot and corrective action
        Ident, // first pass: an ident register of the board (arg: 0..9)
        FinishFirstPass,
        Field, // an entry field (arg: 0..7)
    };
    struct PassStep
    {
        Step step;
        int arg;
    };

    void buildFields();
    void buildFaultPage();
    void buildIdentPage();
    void buildNetworkPage();
    void buildClockPage();
    QHBoxLayout* fieldBox(int i) const;
    void Form_Load();
    void Form_Activate();
    void Form_Unload();
    void FirstPassBegin();
    bool FirstPassStep(const PassStep& s);
    void ShowOffline();
    void UpdateClock();
    void tabTargetBoard_Click(int index);
    void showPage(int page);
    void cmdResetFaults_Click();
    void cmdGoOnline_Click();
    void cmdSetToCurrTime_Click();
    void cmdSetToCurrDate_Click();
    void cmdOk_Click();
    bool acceptField(int i, const QString& writeText);
    void setFieldShown(int i, bool shown);
    void setFieldEnabled(int i, bool on);
    bool fieldShown(int i) const;
    void setClockControlsEnabled(bool on);
    bool hasClock() const;
    // Fills a description box from a code table (the last matching record).
    // False after a read fault, which has been reported.
    bool describe(const QString& table, const QString& code, QPlainTextEdit* box);

    // ---- RefreshClient ----
    void activated() override { Form_Activate(); }
    void unloaded() override { Form_Unload(); }
    void cycleStarted() override;
    void applyOnlinePresentation() override;
    void applyOfflinePresentation() override;
    int beginOnlinePass() override;
    bool onlineItem(int index) override;
    void offlinePass() override;

    Prompter& m_prompter;
    RSComm& m_rs;
    OnlineModeSwitch& m_mode;
    const ProgramFolder& m_folder;
    NumericEntryForm m_form;
    std::array<std::unique_ptr<NumericField>, FieldCount> m_fields;
    std::unique_ptr<RefreshLoop> m_loop;
    std::function<QDateTime()> m_now;

    // Program data (persist between openings; InitializeForm overwrites them).
    qint16 m_boardCode = 68;
    bool m_diskLoaded = false;
    QString m_diskIdent = QStringLiteral("-");
    qint16 m_diskRevision = 0;
    qint16 m_diskChecksum = 0;
    QString m_imagePath;
    std::array<QString, FieldCount> m_address {};

    // Poll state.
    bool m_running = false;
    bool m_firstPassDone = false;
    bool m_offlineShown = false;
    bool m_goOnlinePending = false;
    bool m_restartPass = false;
    bool m_firstPassFaulted = false; // the running first pass met a fault
    bool m_faultReported = false; // a first-pass fault was shown since the last good first pass
    int m_lastSecond = -1;
    std::vector<PassStep> m_plan;
    std::array<QString, 6> m_codes {};
    QString m_plcIdent; // the board's ident characters as read
};

} // namespace talvek
