#pragma once

#include <QDialog>
#include <functional>

class QGroupBox;
class QLabel;

namespace talvek {

// The "Please Standby" window, shown while a long piece of work (the report)
// runs. Report mode 1: it produces the report itself through the given
// function; any other mode: it only shows the standby text.
class frmWaitDisplay final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmWaitDisplay)

public:
    static constexpr int kReportModeGenerate = 1;

    frmWaitDisplay(int reportMode, std::function<void()> produceReport, QWidget* parent = nullptr);

    // The load of the window: label text, centred, shown, the report when the
    // mode asks for it, hidden again. The caller deletes the window afterwards.
    void run();

    // Label text for a report mode.
    static QString waitText(int reportMode);

    QGroupBox* fraWaitDisplay;
    QLabel* lblWaitDisplay;

private:
    int m_reportMode;
    std::function<void()> m_produceReport;
};

// Loads the wait display, runs it and unloads it again.
void showWaitDisplay(int reportMode, const std::function<void()>& produceReport, QWidget* parent);

} // namespace talvek
