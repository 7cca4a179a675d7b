#pragma once

#include "base/Prompter.h"
#include "base/ReportPrinter.h"

#include <QObject>
#include <functional>
#include <memory>

class QWidget;

namespace talvek {

struct ShellGlobals;

// "&Print Report...": the printer dialog, then the wait display, which prints
// the report of CurrentData titled with the main window's gFileNameCaption and
// ends the document. A cancelled dialog ends the command silently. The
// printer chosen stays the program's choice for the next report.
class PrintReportCommand final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PrintReportCommand)

public:
    using PrinterFactory = std::function<std::unique_ptr<ReportPrinter>(const PrinterSettings&)>;

    // `window` is the main window: the wait display is shown over it, and
    // the command lives as long as it does.
    PrintReportCommand(Prompter& prompter, const ShellGlobals& globals, QWidget* window);

    void mnuFilePrint_Click();

    const PrinterSettings& printerChoice() const { return m_choice; }
    // The printer the report goes to; a QtReportPrinter unless replaced.
    void setPrinterFactory(PrinterFactory factory) { m_factory = std::move(factory); }

private:
    Prompter& m_prompter;
    const ShellGlobals& m_globals;
    QWidget* m_window;
    PrinterSettings m_choice;
    PrinterFactory m_factory;
    bool m_running = false;
};

} // namespace talvek
