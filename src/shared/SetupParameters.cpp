#include "shared/SetupParameters.h"

#include "base/BasicText.h"
#include "link/K7700Registers.h"
#include "link/RSComm.h"
#include "shared/MachineData.h"
#include "shared/modUtility.h"
#include "shared/ParamWrite.h"
#include "shared/SetupCatalogue.h"

namespace talvek {

namespace {

constexpr ParamEditor kEditor = ParamEditor::SetupField;
static_assert(editorFieldCount(kEditor) == SetupParameters::kFieldCount);

constexpr int kBrakeWearRow = editorRow(ParamEditor::SetupSwitch);

// The first and last field of a page.
constexpr std::array<int, 2> pageFields(int page)
{
    std::array<int, 2> range { -1, -1 };
    for (int i = 0; i < SetupParameters::kFieldCount; ++i) {
        if (editorEntry(kEditor, i).page != page)
            continue;
        if (range[0] < 0)
            range[0] = i;
        range[1] = i;
    }
    return range;
}

constexpr std::array<std::array<int, 2>, 2> kPageFields { pageFields(0), pageFields(1) };

qint32 dataRow(int row)
{
    return CurrentData.ParamValue.value(row);
}

} // namespace

SetupParameters::SetupParameters(Prompter& prompter, RSComm& rs, QObject* parent)
    : QObject(parent)
    , m_rs(rs)
    , m_fields(prompter, rs, kFieldCount)
{ }

QString SetupParameters::fieldAddress(int i)
{
    return editorEntry(kEditor, i).address;
}

int SetupParameters::fieldRow(int i)
{
    return editorRow(kEditor, i);
}

int SetupParameters::fieldMin(int i)
{
    return editorEntry(kEditor, i).min;
}

int SetupParameters::fieldMax(int i)
{
    return editorEntry(kEditor, i).max;
}

QString SetupParameters::fieldCaption(int i)
{
    return QString::fromLatin1(editorEntry(kEditor, i).caption);
}

QString SetupParameters::brakeWearAddress()
{
    return kParamCatalogue[kBrakeWearRow].address;
}

QString SetupParameters::brakeWearCaption()
{
    return QString::fromLatin1(kParamCatalogue[kBrakeWearRow].caption);
}

void SetupParameters::bindField(int i, NumericEntry& entry)
{
    m_fields.bind(i, entry, fieldRow(i), fieldAddress(i));
}

void SetupParameters::brakeWearChanged(int value)
{
    // Raised by the refresh's own changes too; ignored until a real value
    // is in the switch.
    if (!m_brakeWearReady)
        return;
    reportedWhereItHappened(storeParamAndWrite(m_rs, kBrakeWearRow, value, brakeWearAddress(), QString::number(value)));
}

void SetupParameters::showBrakeWear(int value)
{
    m_state.brakeWear = value;
    emit brakeWearShown();
    m_brakeWearReady = true;
}

void SetupParameters::setPage(int page)
{
    m_state.page = page;
    m_state.firstField = kPageFields[size_t(page)][0];
    m_state.lastField = kPageFields[size_t(page)][1];
    emit pageChanged();
}

void SetupParameters::showPage(int page)
{
    if (page < 0 || page > 1)
        return;
    setPage(page);
    m_pageChanged = true;
}

// Runs when the window is shown (not by the window system), before its
// refresh loop starts: the first page. The loop's first cycle applies the
// online or offline presentation.
void SetupParameters::activated()
{
    setPage(0);
}

// Runs when the window is hidden (not by the window system), after its
// refresh loop has stopped.
void SetupParameters::unloaded()
{
    m_fields.unload();
}

void SetupParameters::present(bool enabled)
{
    m_brakeWearReady = false;
    m_fields.clearEditingFlags();
    m_state.enabled = enabled;
    m_state.brakeWear = 2;
    emit presented();
    m_fields.form().live = true;
}

void SetupParameters::applyOnlinePresentation()
{
    present(true);
}

void SetupParameters::applyOfflinePresentation()
{
    present(OfflineEditing);
}

int SetupParameters::beginOnlinePass()
{
    m_passFirst = m_state.firstField;
    return m_state.lastField - m_state.firstField + 1;
}

bool SetupParameters::onlineItem(int index)
{
    if (m_pageChanged) {
        // The next pass takes the fields of the newly selected page.
        m_pageChanged = false;
        return false;
    }
    const int n = m_passFirst + index;
    // A read that failed on the line leaves the field as it was until the
    // next pass; a lost link ends the loop.
    const Result<QString> value = m_rs.RSRead(fieldAddress(n));
    if (!value)
        return !m_rs.CommError;
    if (n == 0) {
        const Result<QString> brakeWear = m_rs.RSRead(brakeWearAddress());
        if (brakeWear)
            showBrakeWear(roundedInt32(Val(*brakeWear)));
    }
    m_fields.show(n, *value);
    return !m_rs.CommError;
}

void SetupParameters::offlinePass()
{
    m_fields.followOfflineEditing();
    showBrakeWear(dataRow(kBrakeWearRow));
    for (int n = 0; n < kFieldCount; ++n)
        m_fields.show(n, QString::number(dataRow(fieldRow(n))));
}

} // namespace talvek
