#include "shared/ParamEntryForm.h"

#include "shared/MachineData.h"
#include "shared/ParamWrite.h"
#include "shared/RefreshLoop.h"

namespace talvek {

ParamEntryForm::ParamEntryForm(Prompter& prompter, RSComm& rs, int fieldCount)
    : m_rs(rs)
    , m_form(prompter)
    , m_entries(size_t(fieldCount), nullptr)
    , m_lastOfflineEditing(OfflineEditing)
{ }

void ParamEntryForm::bind(int i, NumericEntry& entry, int row, const QString& address)
{
    m_entries.at(size_t(i)) = &entry;
    entry.setOnAccept([this, row, address](qint32 value, const QString& writeText) {
        // The value is the field's now; a write the controller did not take
        // has had its alert, and the next refresh shows what it holds.
        reportedWhereItHappened(storeParamAndWrite(m_rs, row, value, address, writeText));
        return true;
    });
}

void ParamEntryForm::show(int i, const QString& valueText)
{
    NumericEntry* e = m_entries.at(size_t(i));
    if (e && !e->editing())
        e->showValue(valueText);
}

void ParamEntryForm::clearEditingFlags()
{
    m_form.current = nullptr;
    for (NumericEntry* e : m_entries) {
        if (e)
            e->setEditing(false);
    }
}

void ParamEntryForm::unload()
{
    m_form.live = false;
    clearEditingFlags();
}

void ParamEntryForm::followOfflineEditing()
{
    if (OfflineEditing == m_lastOfflineEditing)
        return;
    // The next cycle applies the offline presentation with the new enabling.
    m_lastOfflineEditing = OfflineEditing;
    if (m_loop)
        m_loop->setOfflinePresented(false);
}

} // namespace talvek
