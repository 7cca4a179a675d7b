#pragma once

#include "shared/ParamEntryForm.h"
#include "shared/RefreshLoop.h"

#include <QObject>
#include <QString>
#include <array>

namespace talvek {

class Prompter;
class RSComm;

// ---- the DF1 board's status codes as texts ----

// Configuration status: "(2) Success", ..., "(<v>) Unknown Status".
QString dF1ConfigStatusText(int value);
// Transmit status (current and previous): "(2) Done", ..., "(<v>) Unknown Status".
QString dF1TransmitStatusText(int value);
// The link layer status with the STS and EXT STS bytes of the last reply:
// "(00) Success - No Error" when the status is 0; otherwise the STS text,
// keyed by the STS byte in upper-case hexadecimal without leading zeros, and
// for STS F0 the EXT STS text keyed the same way.
QString dF1LinkStatusText(int status, int sts, int extSts);
QString dF1StsText(int sts, int extSts);
QString dF1ExtStsText(int extSts);

// What the DF1 board panel shows.
struct Df1BoardState
{
    static constexpr int kAddressCount = 12;
    static constexpr int kDisplayCount = 9;
    static constexpr int kFieldCount = 2;

    // The whole panel can be worked with (ONLINE).
    bool enabled = false;
    // The DF1 link settings can be edited (ONLINE, or OFFLINE with offline
    // editing on).
    bool setupEnabled = false;
    // The decoded status texts 0..8; empty: none shown ("-" OFFLINE).
    std::array<QString, kDisplayCount> display;
    // The PLC type selection (0 PLC5, 1 SLC500; any other: none).
    qint64 plcType = -1;
};

// The R8816 DF1 serial interface board: the three DF1 link settings (PLC
// type, destination node, destination file number, rows of the working
// data), edited and written through; and ONLINE the live status of the board
// and of the last DF1 transaction, the PLC's status codes decoded.
class Df1Board final : public QObject, public RefreshClient
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Df1Board)

public:
    // The panel's address list, index 0..11, in the order of the online pass.
    static const std::array<const char*, Df1BoardState::kAddressCount> kAddresses;

    Df1Board(Prompter& prompter, RSComm& rs, QObject* parent = nullptr);

    // The data row, the smallest and largest value and the caption (access
    // key and colon included) of numeric field i; the PLC type's caption.
    static int fieldRow(int i);
    static int fieldMin(int i);
    static int fieldMax(int i);
    static QString fieldCaption(int i);
    static QString plcTypeCaption();

    const Df1BoardState& state() const { return m_state; }
    NumericEntryForm& entryForm() { return m_fields.form(); }
    // The loop that refreshes the board (its offline presentation is applied
    // again when offline editing is switched).
    void setRefreshLoop(RefreshLoop& loop) { m_fields.setRefreshLoop(loop); }

    // The entry of numeric field i (destination node, destination file):
    // the refresh shows values in it unless it is being edited, and an
    // accepted value is stored and written through.
    void bindField(int i, NumericEntry& entry);

    // ---- the PLC type combo ----
    bool comboEditing() const { return m_comboEditing; }
    // The refresh has put a value in the combo: choices count from now on.
    bool comboReady() const { return m_comboReady; }
    // The combo gained (true) or lost (false) the focus.
    void setComboEditing(bool on) { m_comboEditing = on; }
    // Esc in the combo: editing ends (the window moves the focus on).
    void comboEscaped();
    // The operator chose PLC type `index`.
    void plcTypeChosen(int index);

signals:
    // The presentation of a mode was applied (see state()).
    void presented();
    // Display `index` has a new text.
    void displayChanged(int index);
    // The PLC type selection was refreshed.
    void plcTypeChanged();

private:
    // ---- RefreshClient ----
    void activated() override;
    void unloaded() override;
    void applyOnlinePresentation() override;
    void applyOfflinePresentation() override;
    int beginOnlinePass() override;
    bool onlineItem(int index) override;
    void offlinePass() override;

    void clearEditingFlags();
    void present(bool enabled, bool setupEnabled);
    bool showLinkStatus(int status);
    void showPlcType(qint64 index);

    Prompter& m_prompter;
    RSComm& m_rs;
    ParamEntryForm m_fields;
    Df1BoardState m_state;
    bool m_comboEditing = false;
    bool m_comboReady = false;
};

} // namespace talvek
