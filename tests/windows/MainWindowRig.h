#pragma once

// A main window on the in-process simulator, with a scripted prompter and a
// temporary program folder, for the window tests.

#include "base/Clock.h"
#include "base/ProgramFolder.h"
#include "K7700Sim.h"
#include "link/RSComm.h"
#include "ScriptedPrompter.h"
#include "shared/MachineData.h"
#include "SimPort.h"
#include "windows/frmMDIMain.h"

#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace talvek::test {

inline const QString kNoComm = QStringLiteral("Cannot Communicate with Target Board.\rVerify RS-232 Cable is "
                                              "Connected Between\rCOMM Port and PROG Port.");

// The scripted prompter, plus the default text each input box was given.
class RecordingPrompter final : public Prompter
{
public:
    ScriptedPrompter script;
    QStringList inputDefaults;

    MsgResult msgBox(const QString& text, const QString& title, MsgIcon icon, MsgButtons buttons,
        MsgDefault defaultButton = MsgDefault::Button1) override
    {
        return script.msgBox(text, title, icon, buttons, defaultButton);
    }
    std::optional<QString> inputBox(
        const QString& prompt, const QString& title, const QString& defaultText) override
    {
        inputDefaults.append(defaultText);
        return script.inputBox(prompt, title, defaultText);
    }
    std::optional<QString> openFileName(const FileDialogRequest& r) override
    {
        return script.openFileName(r);
    }
    std::optional<QString> saveFileName(const FileDialogRequest& r) override
    {
        return script.saveFileName(r);
    }
    bool showHelp(const QString& path) override { return script.showHelp(path); }
    std::optional<PrinterSettings> printerDialog(const PrinterSettings& current) override
    {
        return script.printerDialog(current);
    }
};

// Child windows that count how often they were made and destroyed.
struct ChildLog
{
    std::array<int, kChildWindowCount> made {};
    std::array<int, kChildWindowCount> destroyed {};
};

inline std::array<ChildFactory, kChildWindowCount> countingChildren(ChildLog& log)
{
    std::array<ChildFactory, kChildWindowCount> factories;
    for (int i = 0; i < kChildWindowCount; ++i) {
        factories[i] = [&log, i](ShellContext&) -> QWidget* {
            auto* w = new QWidget;
            w->setObjectName(QStringLiteral("child%1").arg(i));
            ++log.made[i];
            QObject::connect(w, &QObject::destroyed, [&log, i] { ++log.destroyed[i]; });
            return w;
        };
    }
    return factories;
}

inline void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

struct Rig
{
    QTemporaryDir dir;
    ProgramFolder folder { dir.path() };
    K7700Sim sim;
    FakeClock clock;
    SimPort port { sim, clock };
    RecordingPrompter prompter;
    ChildLog children;
    std::unique_ptr<frmMDIMain> w;

    explicit Rig(bool counting = false)
    {
        resetMachineDataGlobals();
        if (counting)
            w = std::make_unique<frmMDIMain>(prompter, clock, folder, &port, countingChildren(children));
        else
            w = std::make_unique<frmMDIMain>(prompter, clock, folder, &port);
    }
    ~Rig()
    {
        w.reset();
        flushDeletes();
    }
    ScriptedPrompter& script() { return prompter.script; }
    RSComm& rs() { return w->rsComm(); }
    QString panel(int n) const { return w->statusPanel(n)->text(); }
    void showActive()
    {
        w->show();
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
    }
};

} // namespace talvek::test
