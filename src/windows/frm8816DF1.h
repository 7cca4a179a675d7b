#pragma once

#include "NumericEntry.h"
#include "RefreshLoop.h"

#include <QString>
#include <QWidget>
#include <array>
#include <memory>

class QComboBox;
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

// ---- the DF1 board's status codes as texts ----

// "B4023": "(2) Success", ..., "(<v>) Unknown Status".
QString DF1ConfigStatusText(int value);
// "B4021" / "B4022": "(2) Done", ..., "(<v>) Unknown Status".
QString DF1TransmitStatusText(int value);
// "B4303" with the STS ("B4018") and EXT STS ("B4019") bytes of the last
// reply: "(00) Success - No Error" when the status is 0; otherwise the STS
// text, keyed by the STS byte in upper-case hexadecimal without leading
// zeros, and for STS F0 the EXT STS text keyed the same way.
QString DF1LinkStatusText(int status, int sts, int extSts);
QString DF1StsText(int sts, int extSts);
QString DF1ExtStsText(int extSts);

// "R8816DF1": the R8816 DF1 serial interface board. Edits the three DF1 link
// settings (PLC type, destination node, destination file number), which are
// rows 15..17 of the working data, and online shows the live status of the
// board and of the last DF1 transaction, with the PLC's status codes decoded.
class frm8816DF1 final : public QWidget, private RefreshClient
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frm8816DF1)

public:
    static constexpr int AddressCount = 12;
    static constexpr int DisplayCount = 9;
    // The panel's address list, index 0..11.
    static const std::array<const char*, AddressCount> Addresses;

    frm8816DF1(Prompter& prompter, RSComm& rs, OnlineModeSwitch& mode, QWidget* parent = nullptr);
    ~frm8816DF1() override;

    // ---- controls, named as the program names them ----
    std::array<QGroupBox*, 3> fraSetup {};
    std::array<QLabel*, AddressCount> lblDescription {};
    std::array<QLabel*, DisplayCount> lblDisplay {};
    QComboBox* cboSetup;
    std::array<QLineEdit*, 2> txtSetup {};
    std::array<UpDown*, 2> updSetup {};
    QPushButton* cmdDefault;

    // ---- state, for the main window and tests ----
    RefreshLoop& refreshLoop() { return *m_loop; }
    NumericField& field(int i) { return *m_fields.at(size_t(i)); }
    // Editing flags: 0 and 1 the text fields, 2 the PLC type combo.
    bool editing(int i) const;
    bool comboReady() const { return m_comboReady; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Form_Load();
    void Form_Activate();
    void Form_Unload();
    void cboSetup_Click(int index);
    void clearEditingFlags();
    void presentControls(bool enabled);
    void setComboSelection(qint64 index);
    bool acceptField(int i, qint32 value, const QString& writeText);

    // ---- RefreshClient ----
    void activated() override { Form_Activate(); }
    void unloaded() override { Form_Unload(); }
    void applyOnlinePresentation() override;
    void applyOfflinePresentation() override;
    int beginOnlinePass() override;
    bool onlineItem(int index) override;
    void offlinePass() override;

    Prompter& m_prompter;
    RSComm& m_rs;
    NumericEntryForm m_form;
    std::array<std::unique_ptr<NumericField>, 2> m_fields;
    std::unique_ptr<RefreshLoop> m_loop;
    bool m_comboEditing = false;
    bool m_comboReady = false;
    bool m_lastOfflineEditing = false;
};

} // namespace talvek
