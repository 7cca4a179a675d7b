#pragma once

#include "shared/NumericEntry.h"

#include <QString>
#include <vector>

namespace talvek {

class Prompter;
class RefreshLoop;
class RSComm;

// The numeric fields of an editor of parameter rows, as its logic sees them:
// the form they share, each field's entry bound to its row of the working
// data and its register, and the offline editing switch the editor follows.
class ParamEntryForm final
{
public:
    ParamEntryForm(Prompter& prompter, RSComm& rs, int fieldCount);
    Q_DISABLE_COPY_MOVE(ParamEntryForm)

    NumericEntryForm& form() { return m_form; }

    // Binds field i to `entry`: an accepted value is stored in `row` and
    // written through to `address` (storeParamAndWrite).
    void bind(int i, NumericEntry& entry, int row, const QString& address);
    // A value shown in field i, unless it is being edited.
    void show(int i, const QString& valueText);
    void clearEditingFlags();
    // The window is taken down: no more entries, nothing being edited.
    void unload();

    // The loop of the editor: its offline presentation is applied again when
    // offline editing is switched (followOfflineEditing, from the offline pass).
    void setRefreshLoop(RefreshLoop& loop) { m_loop = &loop; }
    void followOfflineEditing();

private:
    RSComm& m_rs;
    NumericEntryForm m_form;
    std::vector<NumericEntry*> m_entries;
    RefreshLoop* m_loop = nullptr;
    bool m_lastOfflineEditing;
};

} // namespace talvek
