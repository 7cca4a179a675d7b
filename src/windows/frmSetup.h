#pragma once

#include "K7700Registers.h"
#include "NumericEntry.h"
#include "RefreshLoop.h"

#include <QWidget>
#include <array>
#include <memory>

class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabBar;

namespace talvek {

class NumericField;
class OnlineModeSwitch;
class Prompter;
class RSComm;
class UpDown;

// "Set-Up": the bodymaker and trimmer set-up parameters. Online it shows the
// controller's values and writes every accepted change at once; offline it
// shows the working data (CurrentData) and edits it while offline editing is
// enabled. A refresh loop keeps it current from activation to unload.
class frmSetup final : public QWidget, private RefreshClient
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmSetup)

public:
    static constexpr int FieldCount = 8;
    // Address of the brake wear compensation switch (row 6 of the data).
    static inline const QString BrakeWearAddress = reg::brakeWearCompensation.address();

    frmSetup(Prompter& prompter, RSComm& rs, OnlineModeSwitch& mode, QWidget* parent = nullptr);
    ~frmSetup() override;

    // ---- controls, named as the program names them ----
    QTabBar* tbsSetup;
    std::array<QFrame*, 2> fraSetup {};
    std::array<QGroupBox*, 3> fraParameters {};
    QCheckBox* chkBrakeWearCompEnable;
    std::array<QLabel*, FieldCount> lblSetup {};
    std::array<QLineEdit*, FieldCount> txtSetup {};
    std::array<UpDown*, FieldCount> updSetup {};
    QPushButton* cmdDefault;

    // ---- state, for the main window and tests ----
    RefreshLoop& refreshLoop() { return *m_loop; }
    NumericField& field(int i) { return *m_fields.at(size_t(i)); }
    // The field's value text (its Tag).
    QString Tag(int i) const;
    bool editing(int i) const;
    bool checkBoxReady() const { return m_checkReady; }
    int firstVisibleField() const { return m_first; }
    int lastVisibleField() const { return m_last; }
    // The controller address and data row of field i.
    static QString fieldAddress(int i);
    static int fieldRow(int i) { return i + 7; }

private:
    void Form_Load();
    void Form_Activate();
    void Form_Unload();
    void tbsSetup_Click(int index);
    void chkBrakeWearCompEnable_Click();
    void setCheckValue(int value);
    int checkValue() const;
    void presentControls(bool enabled);
    bool acceptField(int i, qint32 value, const QString& writeText);

    // ---- RefreshClient ----
    void activated() override { Form_Activate(); }
    void unloaded() override { Form_Unload(); }
    void applyOnlinePresentation() override;
    void applyOfflinePresentation() override;
    int beginOnlinePass() override;
    bool onlineItem(int index) override;
    void offlinePass() override;

    RSComm& m_rs;
    NumericEntryForm m_form;
    std::array<std::unique_ptr<NumericField>, FieldCount> m_fields;
    std::unique_ptr<RefreshLoop> m_loop;
    std::array<QString, FieldCount> m_address;
    int m_first = 0;
    int m_last = 4;
    int m_passFirst = 0;
    bool m_tabChanged = false;
    bool m_checkReady = false;
    bool m_lastOfflineEditing = false;
};

} // namespace talvek
