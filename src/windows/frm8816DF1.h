#pragma once

#include "shared/Df1Board.h"
#include "windows/ChildWindow.h"

#include <QString>
#include <array>
#include <memory>

class QComboBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace talvek {

class NumericField;
class OnlineModeSwitch;
class Prompter;
class RSComm;
class UpDown;

// "R8816DF1": the R8816 DF1 serial interface board. Edits the three DF1 link
// settings (PLC type, destination node, destination file number), which are
// rows 15..17 of the working data, and online shows the live status of the
// board and of the last DF1 transaction, with the PLC's status codes decoded
// (Df1Board reads, decodes and writes; the window draws it).
class frm8816DF1 final : public ChildWindow<QWidget>
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frm8816DF1)

public:
    static constexpr int kAddressCount = Df1BoardState::kAddressCount;
    static constexpr int kDisplayCount = Df1BoardState::kDisplayCount;

    frm8816DF1(Prompter& prompter, RSComm& rs, OnlineModeSwitch& mode, QWidget* parent = nullptr);
    ~frm8816DF1() override;

    // ---- controls, named as the program names them ----
    std::array<QGroupBox*, 3> fraSetup {};
    std::array<QLabel*, kAddressCount> lblDescription {};
    std::array<QLabel*, kDisplayCount> lblDisplay {};
    QComboBox* cboSetup;
    std::array<QLineEdit*, 2> txtSetup {};
    std::array<UpDown*, 2> updSetup {};
    QPushButton* cmdDefault;

    // ---- state, for the main window and tests ----
    NumericField& field(int i) { return *m_fields.at(size_t(i)); }
    // Editing flags: 0 and 1 the text fields, 2 the PLC type combo.
    bool editing(int i) const;
    bool comboReady() const { return m_board.comboReady(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildFrames();
    void buildSetupFrame(QGridLayout* grid);
    void layOut();
    void drawPresentation();
    void drawDisplay(int index);
    void drawPlcType();

    Df1Board m_board;
    std::array<std::unique_ptr<NumericField>, 2> m_fields;
};

} // namespace talvek
