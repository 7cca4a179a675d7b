#pragma once

// What the suites of the windows' logic classes stand on: the simulator link
// with the mode switch, fresh machine data, and numeric fields made of plain
// variables in place of text boxes.

#include "shared/MachineData.h"
#include "shared/NumericEntry.h"
#include "shared/RefreshLoop.h"
#include "SimLinkMode.h"
#include "WireOps.h"

#include <QTest>

namespace talvek::test {

// Fresh machine data, before the logic under test is built (it remembers the
// offline editing flag it starts with).
struct FreshMachineData
{
    FreshMachineData()
    {
        resetMachineDataGlobals();
        InitMachineData(1, 0, 0);
    }
};

// A numeric field on plain variables: the text the operator would see.
class PlainField final : public NumericFieldView
{
public:
    PlainField(NumericEntryForm& form, NumericEntryOptions options, int max)
        : m_max(max)
        , m_entry(form, *this, std::move(options))
    { }

    NumericEntry& entry() { return m_entry; }
    QString text;

    // The operator types `typed` and leaves the field.
    bool enter(const QString& typed)
    {
        m_entry.beginEditing();
        text = typed;
        m_entry.typed();
        return m_entry.validate();
    }

private:
    QString displayText() const override { return text; }
    void setDisplayText(const QString& t) override { text = t; }
    void selectAllText() override { }
    bool textBoxEnabled() const override { return true; }
    void focusTextBox() override { }
    int minimum() const override { return 0; }
    int maximum() const override { return m_max; }
    void moveOnFromEnter() override { }
    void focusSink() override { }

    int m_max;
    NumericEntry m_entry;
};

struct LogicLink : SimLinkMode
{
    ~LogicLink()
    {
        if (port.isOpen())
            port.close();
    }
    qsizetype mark() const { return port.exchanges().size(); }
    QList<int> readsSince(qsizetype from) const { return ReadAddresses(port.exchanges(), from); }
    QList<WireOp> writesSince(qsizetype from) const { return Writes(port.exchanges(), from); }
    // The board stops answering; the link's Retry/Cancel box is answered Cancel.
    void killLink()
    {
        sim.setDroppedOut(true);
        prompter.answerMsg(MsgResult::Cancel);
    }
    // The link dies as the next pass of `loop` begins: its first read fails.
    void dieAtNextPass(RefreshLoop& loop)
    {
        loop.step();
        killLink();
        loop.step();
    }
    // The link's own box was the only one shown.
    void onlyTheLinksBox() const
    {
        QCOMPARE(prompter.messages().size(), 1);
        QCOMPARE(prompter.unexpected(), 0);
    }
};

} // namespace talvek::test
