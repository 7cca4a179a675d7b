#pragma once

#include "shared/SystemInfo.h"

#include <QDialog>
#include <QPointer>
#include <functional>

class QFrame;
class QLabel;
class QPushButton;

namespace talvek {

class Prompter;

// The about box: title, version, ownership notice and technical support, with
// "&System Info...". Shown without being modal; "OK" closes (and deletes) it.
class frmAbout final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmAbout)

public:
    // report gives the system information shown where no system information
    // program is found (empty: none).
    frmAbout(Prompter& prompter, RegistryReader& registry, ProgramStarter starter,
        std::function<QString()> report = {}, QWidget* parent = nullptr);

    // The system information window last shown by "&System Info...".
    QDialog* systemInfoWindow() const { return m_systemInfo; }

    // "Version " + major.minor.revision of the application.
    static QString versionText();

    QLabel* picIcon;
    QLabel* lblTitle;
    QLabel* lblVersion;
    QLabel* lblDescription;
    QLabel* lblTechSupport;
    QFrame* line1;
    QFrame* line2;
    QPushButton* cmdOK;
    QPushButton* cmdSysInfo;

private:
    // The controls: their names, fonts and texts; their layout.
    void nameAndStyleControls();
    void arrangeControls();
    void cmdSysInfo_Click();

    Prompter& m_prompter;
    RegistryReader& m_registry;
    ProgramStarter m_starter;
    std::function<QString()> m_report;
    QPointer<QDialog> m_systemInfo;
};

} // namespace talvek
