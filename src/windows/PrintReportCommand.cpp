#include "windows/PrintReportCommand.h"

#include "shared/MachineData.h"
#include "shared/modReport.h"
#include "print/QtReportPrinter.h"
#include "windows/frmWaitDisplay.h"
#include "windows/ShellContext.h"

#include <QDateTime>
#include <QScopedValueRollback>
#include <QWidget>

namespace talvek {

PrintReportCommand::PrintReportCommand(Prompter& prompter, const ShellGlobals& globals, QWidget* window)
    : QObject(window)
    , m_prompter(prompter)
    , m_globals(globals)
    , m_window(window)
{
    setObjectName(QStringLiteral("PrintReportCommand"));
}

void PrintReportCommand::mnuFilePrint_Click()
{
    if (m_running)
        return;
    const auto choice = m_prompter.printerDialog(m_choice);
    if (!choice)
        return;
    m_choice = *choice;
    const QScopedValueRollback running(m_running, true);
    std::unique_ptr<ReportPrinter> printer
        = m_factory ? m_factory(m_choice) : std::make_unique<QtReportPrinter>(m_choice);
    showWaitDisplay(
        frmWaitDisplay::kReportModeGenerate,
        [&] {
            printReport(*printer, m_globals.gFileNameCaption, CurrentData, QDateTime::currentDateTime());
            printer->endDoc();
        },
        m_window);
}

} // namespace talvek
