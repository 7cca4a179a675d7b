// The set-up parameters' logic without a window, on the simulator: the reads
// of a page's pass, the state it publishes (pages, the brake wear switch,
// enabling), values stored in CurrentData and written through, and a link
// that dies under it.

#include "LogicRig.h"
#include "shared/modUtility.h"
#include "shared/RefreshLoop.h"
#include "shared/SetupParameters.h"

#include <QSignalSpy>
#include <QTest>
#include <memory>

using namespace talvek;
using namespace talvek::test;

namespace {

constexpr std::array<int, SetupParameters::kFieldCount> kMax { 359, 359, 999, 899, 999, 999, 999, 999 };

NumericEntryOptions fieldOptions(int i)
{
    NumericEntryOptions options;
    options.holder = ValueHolder::Tag;
    options.degrees = i <= SetupParametersState::kLastDegreeField;
    return options;
}

struct ParamsRig : LogicLink, FreshMachineData
{
    SetupParameters params { prompter, rs };
    std::array<std::unique_ptr<PlainField>, SetupParameters::kFieldCount> fields;
    RefreshLoop loop { params, rs, mode };

    ParamsRig()
    {
        for (int i = 0; i < SetupParameters::kFieldCount; ++i) {
            fields[size_t(i)]
                = std::make_unique<PlainField>(params.entryForm(), fieldOptions(i), kMax[size_t(i)]);
            params.bindField(i, fields[size_t(i)]->entry());
        }
        const std::array<int, 8> values { 120, 130, 300, 250, 350, 375, 250, 20 };
        for (int i = 0; i < 8; ++i)
            sim.setWord(1020 + 2 * i + (i >= 5 ? 2 : 0), quint16(values[size_t(i)]));
        sim.setByte(1018, 0xF0);
        params.setRefreshLoop(loop);
        loop.setAutoStep(false);
        loop.start();
    }
    void cycle() { loop.runCycle(); }
    QString text(int i) const { return fields[size_t(i)]->text; }
};

QList<int> words(std::initializer_list<int> addresses)
{
    QList<int> bytes;
    for (int a : addresses)
        bytes << a << a + 1;
    return bytes;
}

} // namespace

class tst_SetupParameters : public QObject
{
    Q_OBJECT

private slots:
    void fieldsTheirRegistersAndLimits();
    void passReadsThePageShown();
    void brakeWearSwitchPublishedAndWritten();
    void fieldsStoredAndWrittenThrough();
    void dyingLinkEndsThePass();
};

// Each field's register, data row and largest value (the window's spinners
// and the entry check take the limits from here).
void tst_SetupParameters::fieldsTheirRegistersAndLimits()
{
    const QStringList addresses { "W1020", "W1022", "W1024", "W1026", "W1028", "W1032", "W1034", "W1036" };
    const QList<int> max { 359, 359, 999, 899, 999, 999, 999, 999 };
    for (int i = 0; i < SetupParameters::kFieldCount; ++i) {
        QCOMPARE(SetupParameters::fieldAddress(i), addresses[i]);
        QCOMPARE(SetupParameters::fieldRow(i), i + 7);
        QCOMPARE(SetupParameters::fieldMax(i), max[i]);
    }
}

// Page 0 reads fields 0..4 with the brake wear byte after field 0; page 1
// reads fields 5..7; a page change ends the pass under way without a read.
void tst_SetupParameters::passReadsThePageShown()
{
    ParamsRig r;
    r.mode.setMode(true);
    qsizetype m = r.mark();
    r.cycle();
    QCOMPARE(
        r.readsSince(m), QList<int>({ 1020, 1021, 1018, 1022, 1023, 1024, 1025, 1026, 1027, 1028, 1029 }));
    QCOMPARE(r.text(0), QStringLiteral("120") + kDegreeSign);
    QCOMPARE(r.text(4), QStringLiteral("350"));
    QCOMPARE(r.text(5), QString());

    QSignalSpy pages(&r.params, &SetupParameters::pageChanged);
    r.loop.step(); // a pass begins
    r.loop.step(); // field 0 and the brake wear byte
    r.params.showPage(1);
    QCOMPARE(pages.size(), 1);
    QCOMPARE(r.params.state().page, 1);
    QCOMPARE(r.params.state().firstField, 5);
    QCOMPARE(r.params.state().lastField, 7);
    m = r.mark();
    r.loop.step();
    QVERIFY(!r.loop.inPass());
    QCOMPARE(r.mark(), m);
    r.cycle();
    QCOMPARE(r.readsSince(m), words({ 1032, 1034, 1036 }));
    QCOMPARE(r.text(7), QStringLiteral("20"));
    r.params.showPage(2); // no such page
    QCOMPARE(pages.size(), 1);
}

// The switch is grayed by every presentation and counts the operator's (or
// the refresh's) changes only once a real value is in it.
void tst_SetupParameters::brakeWearSwitchPublishedAndWritten()
{
    ParamsRig r;
    r.mode.setMode(true);
    r.loop.step(); // the online presentation
    QCOMPARE(r.params.state().brakeWear, 2);
    QVERIFY(r.params.state().enabled);
    QVERIFY(!r.params.brakeWearReady());
    qsizetype m = r.mark();
    r.params.brakeWearChanged(1); // before the first read: ignored
    QCOMPARE(CurrentData.ParamValue[6], 0);
    QVERIFY(r.writesSince(m).isEmpty());
    r.cycle();
    QCOMPARE(r.params.state().brakeWear, 0);
    QVERIFY(r.params.brakeWearReady());
    m = r.mark();
    r.params.brakeWearChanged(1);
    QCOMPARE(CurrentData.ParamValue[6], 1);
    QCOMPARE(r.writesSince(m), QList<WireOp>({ { true, 1018, 0xF1 } }));

    r.mode.setMode(false);
    r.loop.step(); // the offline presentation, then the offline pass
    QCOMPARE(r.params.state().brakeWear, 1);
    QVERIFY(!r.params.state().enabled);
    QVERIFY(r.params.brakeWearReady());
}

// OFFLINE with editing on, an accepted value goes to its row of CurrentData
// only; ONLINE it is written to its register too.
void tst_SetupParameters::fieldsStoredAndWrittenThrough()
{
    ParamsRig r;
    r.cycle();
    QVERIFY(!r.params.state().enabled);
    QCOMPARE(r.text(2), QStringLiteral("300") + kDegreeSign);
    OfflineEditing = true;
    r.cycle(); // the pass notices the switch
    QSignalSpy presented(&r.params, &SetupParameters::presented);
    r.cycle();
    QCOMPARE(presented.size(), 1);
    QVERIFY(r.params.state().enabled);
    QVERIFY(r.fields[7]->enter(QStringLiteral("33")));
    QCOMPARE(CurrentData.ParamValue[14], 33);
    QVERIFY(r.port.exchanges().isEmpty());

    r.mode.setMode(true);
    r.cycle();
    const qsizetype m = r.mark();
    QVERIFY(r.fields[1]->enter(QStringLiteral("45") + kDegreeSign));
    QCOMPARE(CurrentData.ParamValue[8], 45);
    QCOMPARE(r.writesSince(m), QList<WireOp>({ { true, 1022, 45 }, { true, 1023, 0 } }));
    QCOMPARE(r.sim.word(1022), 45);
}

// A failed read ends the pass; the next cycle takes the program OFFLINE and
// the fields show the working data again.
void tst_SetupParameters::dyingLinkEndsThePass()
{
    ParamsRig r;
    CurrentData.ParamValue[10] = 222;
    r.mode.setMode(true);
    r.cycle();
    QCOMPARE(r.text(3), QStringLiteral("250"));
    r.dieAtNextPass(r.loop);
    QVERIFY(r.rs.CommError);
    QVERIFY(!r.loop.inPass());
    r.loop.step(); // OFFLINE: the offline presentation and pass
    QVERIFY(!r.rs.OnlineMode);
    QVERIFY(!r.params.state().enabled);
    QCOMPARE(r.text(3), QStringLiteral("222"));
    QCOMPARE(r.params.state().brakeWear, 0);
    r.onlyTheLinksBox();
}

QTEST_GUILESS_MAIN(tst_SetupParameters)
#include "tst_setupparameters.moc"
