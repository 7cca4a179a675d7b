#pragma once

#include "shared/ParamEntryForm.h"
#include "shared/RefreshLoop.h"
#include "shared/SetupCatalogue.h"

#include <QObject>
#include <QString>
#include <array>

namespace talvek {

class Prompter;
class RSComm;

// What the set-up editor shows beside its numeric fields.
struct SetupParametersState
{
    static constexpr int kFieldCount = 8;
    // Fields 0..kLastDegreeField are in crank degrees (the fields come in
    // the order of their rows, the degrees first).
    static constexpr int kLastDegreeField = [] {
        int last = -1;
        while (last + 1 < kFieldCount
            && editorEntry(ParamEditor::SetupField, last + 1).unit == ParamUnit::Degrees)
            ++last;
        return last;
    }();

    // The fields can be edited (ONLINE, or OFFLINE with offline editing on).
    bool enabled = false;
    // The brake wear compensation switch: 0 off, 2 not known (grayed), any
    // other number on.
    int brakeWear = 2;
    // The page shown, and the fields the online pass reads.
    int page = 0;
    int firstField = 0;
    int lastField = 4;
};

// The bodymaker and trimmer set-up parameters. Online it reads the
// controller's values (the fields of the page shown, one per step) and
// writes every accepted change at once; offline it shows the working data
// (CurrentData) and edits it while offline editing is enabled.
class SetupParameters final : public QObject, public RefreshClient
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SetupParameters)

public:
    static constexpr int kFieldCount = SetupParametersState::kFieldCount;

    SetupParameters(Prompter& prompter, RSComm& rs, QObject* parent = nullptr);

    const SetupParametersState& state() const { return m_state; }
    NumericEntryForm& entryForm() { return m_fields.form(); }
    // The loop that refreshes the parameters (its offline presentation is
    // applied again when offline editing is switched).
    void setRefreshLoop(RefreshLoop& loop) { m_fields.setRefreshLoop(loop); }

    // The controller address and data row of field i, and of the switch.
    static QString fieldAddress(int i);
    static int fieldRow(int i);
    // The smallest and largest value field i takes.
    static int fieldMin(int i);
    static int fieldMax(int i);
    // The captions of field i and of the switch, access key and colon included.
    static QString fieldCaption(int i);
    static QString brakeWearAddress();
    static QString brakeWearCaption();

    // The entry of field i: the refresh shows values in it unless it is
    // being edited, and an accepted value is stored and written through.
    void bindField(int i, NumericEntry& entry);

    // The switch has a real value: an operator's change counts from now on.
    bool brakeWearReady() const { return m_brakeWearReady; }
    // The switch shows `value` (0 off, 1 on, 2 grayed) by the operator's
    // click or by the refresh's own change: once it is ready, the value is
    // stored and written through.
    void brakeWearChanged(int value);
    // The operator chose page 0 or 1: the next pass reads its fields.
    void showPage(int page);

signals:
    // The presentation of a mode was applied (the fields show "-", the
    // switch is grayed).
    void presented();
    void brakeWearShown();
    void pageChanged();

private:
    // ---- RefreshClient ----
    void activated() override;
    void unloaded() override;
    void applyOnlinePresentation() override;
    void applyOfflinePresentation() override;
    int beginOnlinePass() override;
    bool onlineItem(int index) override;
    void offlinePass() override;

    void present(bool enabled);
    void showBrakeWear(int value);
    void setPage(int page);

    RSComm& m_rs;
    ParamEntryForm m_fields;
    SetupParametersState m_state;
    int m_passFirst = 0;
    bool m_pageChanged = false;
    bool m_brakeWearReady = false;
};

} // namespace talvek
