#pragma once

#include "shared/SetupParameters.h"
#include "windows/ChildWindow.h"

#include <QWidget>
#include <array>
#include <memory>

class QCheckBox;
class QFrame;
class QGridLayout;
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

// "Set-Up": the bodymaker and trimmer set-up parameters (SetupParameters).
// Online it shows the controller's values and writes every accepted change at
// once; offline it shows the working data (CurrentData) and edits it while
// offline editing is enabled. A refresh loop keeps it current from activation
// to unload.
class frmSetup final : public ChildWindow<QWidget>
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmSetup)

public:
    static constexpr int kFieldCount = SetupParameters::kFieldCount;

    frmSetup(Prompter& prompter, RSComm& rs, OnlineModeSwitch& mode, QWidget* parent = nullptr);
    ~frmSetup() override;

    // ---- controls, named as the program names them ----
    QTabBar* tbsSetup;
    std::array<QFrame*, 2> fraSetup {};
    std::array<QGroupBox*, 3> fraParameters {};
    QCheckBox* chkBrakeWearCompEnable;
    std::array<QLabel*, kFieldCount> lblSetup {};
    std::array<QLineEdit*, kFieldCount> txtSetup {};
    std::array<UpDown*, kFieldCount> updSetup {};
    QPushButton* cmdDefault;

    // ---- state, for the main window and tests ----
    NumericField& field(int i) { return *m_fields.at(size_t(i)); }
    // The field's value text (its Tag).
    QString Tag(int i) const;
    bool editing(int i) const;
    bool checkBoxReady() const { return m_parameters.brakeWearReady(); }
    int firstVisibleField() const { return m_parameters.state().firstField; }
    int lastVisibleField() const { return m_parameters.state().lastField; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void focusFirstField();
    void buildGroups(std::array<QGridLayout*, 3>& grids);
    void buildField(int i, QGridLayout* grid, int row);
    void setTabOrders();
    void tbsSetup_Click(int index);
    void chkBrakeWearCompEnable_Click();
    int checkValue() const;
    void drawPresentation();
    void drawBrakeWear();
    void drawPage();

    SetupParameters m_parameters;
    std::array<std::unique_ptr<NumericField>, kFieldCount> m_fields;
    // The focus has been put into the window since it was last shown.
    bool m_focusPlaced = false;
};

} // namespace talvek
