#include "shared/ShiftCounters.h"

#include "base/Prompter.h"
#include "link/K7700Registers.h"
#include "link/RSComm.h"
#include "shared/MachineData.h"
#include "shared/SetupCatalogue.h"

namespace talvek {

namespace {

// The counters in their display order: the rows of the shift data window.
static_assert(editorFieldCount(ParamEditor::ShiftData) == ShiftCountersState::kCounterCount);

const ParamRow& counter(int index)
{
    return editorEntry(ParamEditor::ShiftData, index);
}

} // namespace

ShiftCounters::ShiftCounters(RSComm& rs, Prompter& prompter, QObject* parent)
    : QObject(parent)
    , m_prompter(prompter)
    , m_rs(rs)
{ }

bool ShiftCounters::endOfShiftPressed()
{
    if (m_rs.CommError)
        return false;
    if (m_rs.OnlineMode) {
        const MsgResult answer = m_prompter.msgBox(
            QStringLiteral("End the current shift?\r\n\r\nThe controller moves the counts of the current shift to "
                           "the last shift and starts the current shift again from 0.\r\n\r\nDo you wish to "
                           "continue?"),
            QStringLiteral("End of Shift"), MsgIcon::Question, MsgButtons::YesNo, MsgDefault::Button2);
        if (answer != MsgResult::Yes)
            return false;
    }
    if (m_rs.CommError)
        return false;
    reportedWhereItHappened(m_rs.RSWrite(reg::kEndOfShift, QStringLiteral("1")));
    return true;
}

void ShiftCounters::endOfShiftReleased()
{
    if (!m_rs.CommError)
        reportedWhereItHappened(m_rs.RSWrite(reg::kEndOfShift, QStringLiteral("0")));
}

void ShiftCounters::present(bool enabled)
{
    m_state.enabled = enabled;
    m_state.count.fill(QString());
    emit presented();
}

void ShiftCounters::applyOnlinePresentation()
{
    present(true);
}

void ShiftCounters::applyOfflinePresentation()
{
    present(false);
}

int ShiftCounters::beginOnlinePass()
{
    return ShiftCountersState::kCounterCount;
}

bool ShiftCounters::onlineItem(int index)
{
    const Result<QString> value = m_rs.RSRead(counter(index).address);
    // A read that failed on the line leaves the count as it was until the
    // next pass; a lost link ends the loop.
    if (!value)
        return !m_rs.CommError;
    m_state.count[size_t(index)] = *value;
    emit countChanged(index);
    return true;
}

void ShiftCounters::offlinePass()
{
    for (int i = 0; i < ShiftCountersState::kCounterCount; ++i)
        m_state.count[size_t(i)] = QString::number(CurrentData.ParamValue.value(counter(i).row, 0));
    emit countChanged(-1);
}

} // namespace talvek
