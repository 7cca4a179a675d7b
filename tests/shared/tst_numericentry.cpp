// The numeric entry field behaviour on a view made of plain variables:
// normalisation, range check against the up-down's current limits, the
// range message, ties-to-even storage, the text handed to the controller,
// Enter, the two-step Esc, the spinner path and the form variants.

#include "ScriptedPrompter.h"
#include "shared/NumericEntry.h"

#include <QTest>

using namespace talvek;
using namespace talvek::test;

namespace {

const QString Deg = QString(kDegreeSign);

class FakeView final : public NumericFieldView
{
public:
    QString text;
    bool enabled = true;
    int min = 0;
    int max = 359;
    int selectAlls = 0;
    int focusBacks = 0;
    int enters = 0;
    int sinks = 0;
    std::function<void()> onSink; // what leaving the field does

    QString displayText() const override { return text; }
    void setDisplayText(const QString& t) override { text = t; }
    void selectAllText() override { ++selectAlls; }
    bool textBoxEnabled() const override { return enabled; }
    void focusTextBox() override { ++focusBacks; }
    int minimum() const override { return min; }
    int maximum() const override { return max; }
    void moveOnFromEnter() override { ++enters; }
    void focusSink() override
    {
        ++sinks;
        if (onSink)
            onSink();
    }
};

struct Accepted
{
    qint32 value;
    QString writeText;
};

struct Field
{
    ScriptedPrompter prompter;
    NumericEntryForm form { prompter };
    FakeView view;
    NumericEntry entry;
    QList<Accepted> accepted;
    bool acceptResult = true;

    // The operator types `text` over the field's display.
    void type(const QString& text)
    {
        view.text = text;
        entry.typed();
    }

    explicit Field(NumericEntryOptions options)
        : entry(form, view, std::move(options))
    {
        entry.setOnAccept([this](qint32 v, const QString& w) {
            accepted.append({ v, w });
            return acceptResult;
        });
    }
};

NumericEntryOptions degreeTagField()
{
    NumericEntryOptions o;
    o.holder = ValueHolder::Tag;
    o.degrees = true;
    o.title = QStringLiteral("Set-up");
    return o;
}

NumericEntryOptions textField(const QString& title)
{
    NumericEntryOptions o;
    o.holder = ValueHolder::Text;
    o.title = title;
    return o;
}

} // namespace

class tst_NumericEntry : public QObject
{
    Q_OBJECT

private slots:
    void writeText_data();
    void writeText();
    void validateDegreeTagField_data();
    void validateDegreeTagField();
    void rejectionRestoresAndKeepsEditing();
    void messageNamesTheSpinnersCurrentLimits();
    void textFieldRestoresTheDisplay();
    void enterMovesOnAndIsSwallowed();
    void escapeTwiceLeaves();
    void escapeKeyEscapeRestoresTwice();
    void beginEditingRemembersTheValueText();
    void spinnerChangeAcceptsTheSteppedValue();
    void arrowWhileTypingChecksTheTypedEntryFirst();
    void acceptRefusedByTheFormRestores();
    void aTypedEntryIsHandedOnOnce();
    void exemptTextAndPlainOnBegin();
    void roundingHelpers();
};

void tst_NumericEntry::writeText_data()
{
    QTest::addColumn<QString>("valueText");
    QTest::addColumn<int>("stored");
    QTest::addColumn<QString>("expected");
    QTest::newRow("digits as typed") << "300" << 300 << "300";
    QTest::newRow("blanks kept") << " 300 " << 300 << " 300 ";
    QTest::newRow("leading zeros kept") << "0300" << 300 << "0300";
    QTest::newRow("12.6 writes the stored 13") << "12.6" << 13 << "13";
    QTest::newRow("12.5 writes the stored 12") << "12.5" << 12 << "12";
    QTest::newRow("12.0 never becomes 120") << "12.0" << 12 << "12";
    QTest::newRow("exponent") << "1E2" << 100 << "100";
    QTest::newRow("plus sign") << "+5" << 5 << "5";
    QTest::newRow("minus zero") << "-0" << 0 << "0";
    QTest::newRow("hexadecimal") << "&H10" << 16 << "16";
}

void tst_NumericEntry::writeText()
{
    QFETCH(QString, valueText);
    QFETCH(int, stored);
    QFETCH(QString, expected);
    QCOMPARE(entryWriteText(valueText, stored), expected);
}

void tst_NumericEntry::validateDegreeTagField_data()
{
    QTest::addColumn<QString>("display");
    QTest::addColumn<int>("max");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("stored");
    QTest::addColumn<QString>("writeText");

    QTest::newRow("120 with the degree sign") << "120" + Deg << 359 << true << 120 << "120";
    QTest::newRow("45 typed with the sign") << "45" + Deg << 359 << true << 45 << "45";
    QTest::newRow("plain number") << "200" << 359 << true << 200 << "200";
    QTest::newRow("empty") << "" << 359 << false << 0 << "";
    QTest::newRow("a word") << "abc" << 359 << false << 0 << "";
    QTest::newRow("12abc") << "12abc" << 359 << false << 0 << "";
    // One trailing degree sign comes off; what is left must be a number.
    QTest::newRow("a word with the sign") << "abc" + Deg << 359 << false << 0 << "";
    QTest::newRow("the sign alone") << Deg << 359 << false << 0 << "";
    QTest::newRow("l20 with the sign") << "l20" + Deg << 359 << false << 0 << "";
    QTest::newRow("12abc with the sign") << "12abc" + Deg << 359 << false << 0 << "";
    QTest::newRow("two signs") << "45" + Deg + Deg << 359 << false << 0 << "";
    QTest::newRow("sign inside") << "4" + Deg + "5" << 359 << false << 0 << "";
    QTest::newRow("blank after the sign") << "45" + Deg + " " << 359 << true << 45 << "45";
    QTest::newRow("lower limit") << "0" << 359 << true << 0 << "0";
    QTest::newRow("upper limit") << "359" << 359 << true << 359 << "359";
    QTest::newRow("Max+1") << "360" << 359 << false << 0 << "";
    QTest::newRow("Min-1") << "-1" << 359 << false << 0 << "";
    QTest::newRow("Max+1 with the sign") << "360" + Deg << 359 << false << 0 << "";
    QTest::newRow("12.6 stores 13") << "12.6" << 999 << true << 13 << "13";
    QTest::newRow("12.5 stores 12") << "12.5" << 999 << true << 12 << "12";
    QTest::newRow("13.5 stores 14") << "13.5" << 999 << true << 14 << "14";
    QTest::newRow("12.5 with the sign") << "12.5" + Deg << 999 << true << 12 << "12";
    QTest::newRow("359.4 inside") << "359.4" << 359 << false << 0 << "";
    QTest::newRow("blanks around") << " 7 " << 359 << true << 7 << " 7 ";
}

void tst_NumericEntry::validateDegreeTagField()
{
    QFETCH(QString, display);
    QFETCH(int, max);
    QFETCH(bool, ok);
    QFETCH(int, stored);
    QFETCH(QString, writeText);

    Field f(degreeTagField());
    f.view.max = max;
    f.entry.showValue(QStringLiteral("77"));
    QCOMPARE(f.view.text, "77" + Deg);
    f.entry.beginEditing();
    f.type(display);
    QCOMPARE(f.entry.validate(), ok);
    if (ok) {
        QCOMPARE(f.accepted.size(), 1);
        QCOMPARE(f.accepted[0].value, stored);
        QCOMPARE(f.accepted[0].writeText, writeText);
        QVERIFY(!f.entry.editing());
        QVERIFY(f.prompter.calls().isEmpty());
        // The display is left for the refresh to redraw.
        QCOMPARE(f.view.text, display);
    } else {
        QVERIFY(f.accepted.isEmpty());
        QCOMPARE(f.prompter.calls().size(), 1);
        QCOMPARE(f.prompter.calls()[0].text,
            QStringLiteral("Only a Number Between 0 and %1 can be Entered").arg(max));
        QCOMPARE(f.view.text, "77" + Deg);
        QCOMPARE(f.entry.valueText(), QStringLiteral("77"));
    }
}

void tst_NumericEntry::rejectionRestoresAndKeepsEditing()
{
    Field f(degreeTagField());
    f.entry.showValue(QStringLiteral("120"));
    f.entry.beginEditing();
    QCOMPARE(f.entry.savedValue(), 120);
    f.type(QStringLiteral("12abc"));
    const int selects = f.view.selectAlls;
    QVERIFY(!f.entry.validate());
    const PromptCall& call = f.prompter.calls().at(0);
    QCOMPARE(call.text, QStringLiteral("Only a Number Between 0 and 359 can be Entered"));
    QCOMPARE(call.title, QStringLiteral("Set-up"));
    QCOMPARE(call.icon, MsgIcon::Information);
    QCOMPARE(call.buttons, MsgButtons::OK);
    QCOMPARE(f.entry.valueText(), QStringLiteral("120"));
    QCOMPARE(f.view.text, "120" + Deg);
    QVERIFY(f.entry.editing());
    QCOMPARE(f.view.focusBacks, 1);
    QCOMPARE(f.view.selectAlls, selects + 1);

    // A disabled text box is not given the focus: its text is restored and
    // the edit ends, so that the refresh redraws it again.
    f.view.enabled = false;
    f.type(QStringLiteral("x"));
    QVERIFY(!f.entry.validate());
    QCOMPARE(f.view.focusBacks, 1);
    QCOMPARE(f.view.text, "120" + Deg);
    QVERIFY(!f.entry.editing());
}

void tst_NumericEntry::messageNamesTheSpinnersCurrentLimits()
{
    Field f(textField(QStringLiteral("R8816DF1 Set-up")));
    f.view.min = 5;
    f.view.max = 255;
    f.view.text = QStringLiteral("10");
    f.entry.beginEditing();
    f.type(QStringLiteral("300"));
    QVERIFY(!f.entry.validate());
    f.view.max = 400; // the spinner's Max changed at run time
    f.type(QStringLiteral("4"));
    QVERIFY(!f.entry.validate());
    QCOMPARE(f.prompter.messages().size(), 2);
    QCOMPARE(f.prompter.messages()[0].text, QStringLiteral("Only a Number Between 5 and 255 can be Entered"));
    QCOMPARE(f.prompter.messages()[1].text, QStringLiteral("Only a Number Between 5 and 400 can be Entered"));
    QCOMPARE(f.prompter.messages()[1].title, QStringLiteral("R8816DF1 Set-up"));
}

void tst_NumericEntry::textFieldRestoresTheDisplay()
{
    Field f(textField(QStringLiteral("R8816DF1 Set-up")));
    f.view.max = 255;
    f.view.text = QStringLiteral("10");
    f.entry.beginEditing();
    f.type(QStringLiteral("256"));
    QVERIFY(!f.entry.validate());
    QCOMPARE(f.view.text, QStringLiteral("10"));
    f.type(QStringLiteral("12.6"));
    QVERIFY(f.entry.validate());
    QCOMPARE(f.accepted.at(0).value, 13);
    QCOMPARE(f.accepted.at(0).writeText, QStringLiteral("13"));
    // The value text of a Text field is its display.
    QCOMPARE(f.entry.valueText(), QStringLiteral("12.6"));
}

void tst_NumericEntry::enterMovesOnAndIsSwallowed()
{
    Field f(degreeTagField());
    f.form.escape = true;
    QVERIFY(f.entry.keyPress(NumericEntry::Key::Enter));
    QCOMPARE(f.view.enters, 1);
    QVERIFY(!f.form.escape);
    QVERIFY(!f.entry.keyPress(NumericEntry::Key::Other));
}

void tst_NumericEntry::escapeTwiceLeaves()
{
    Field f(degreeTagField());
    f.entry.showValue(QStringLiteral("120"));
    f.entry.beginEditing();
    f.type(QStringLiteral("77"));
    QVERIFY(f.entry.keyPress(NumericEntry::Key::Escape));
    // The saved value as a plain integer, selected again; still editing.
    QCOMPARE(f.view.text, QStringLiteral("120"));
    QVERIFY(f.form.escape);
    QVERIFY(f.entry.editing());
    QCOMPARE(f.view.sinks, 0);
    // Leaving checks what is in the field, as any leave does: the value Esc
    // restored was typed by nobody, and nothing is handed on.
    f.view.onSink = [&] { f.entry.validate(); };
    QVERIFY(f.entry.keyPress(NumericEntry::Key::Escape));
    QCOMPARE(f.view.sinks, 1);
    QVERIFY(!f.form.escape);
    QVERIFY(!f.entry.editing());
    QVERIFY(f.accepted.isEmpty());
}

void tst_NumericEntry::escapeKeyEscapeRestoresTwice()
{
    Field f(degreeTagField());
    f.entry.showValue(QStringLiteral("120"));
    f.entry.beginEditing();
    const int selects = f.view.selectAlls;
    f.type(QStringLiteral("5"));
    f.entry.keyPress(NumericEntry::Key::Escape);
    QCOMPARE(f.view.text, QStringLiteral("120"));
    QVERIFY(!f.entry.keyPress(NumericEntry::Key::Other));
    QVERIFY(!f.form.escape);
    f.type(QStringLiteral("9"));
    f.entry.keyPress(NumericEntry::Key::Escape);
    QCOMPARE(f.view.text, QStringLiteral("120"));
    QCOMPARE(f.view.sinks, 0);
    QCOMPARE(f.view.selectAlls, selects + 2);
    QVERIFY(f.entry.editing());
    QVERIFY(f.accepted.isEmpty());
}

void tst_NumericEntry::beginEditingRemembersTheValueText()
{
    Field f(degreeTagField());
    f.entry.showValue(QStringLiteral("12.5"));
    f.form.escape = true;
    f.entry.beginEditing();
    QVERIFY(f.entry.editing());
    QVERIFY(!f.form.escape);
    QCOMPARE(f.entry.savedValue(), 12); // ties to even
    QCOMPARE(f.view.selectAlls, 1);
    // The display "-" of a field never read counts as 0.
    Field g(textField(QStringLiteral("Set-up")));
    g.view.text = QStringLiteral("-");
    g.entry.beginEditing();
    QCOMPARE(g.entry.savedValue(), 0);
}

void tst_NumericEntry::spinnerChangeAcceptsTheSteppedValue()
{
    Field f(degreeTagField());
    f.entry.showValue(QStringLiteral("120"));
    f.entry.beginEditing();
    f.form.escape = true;
    bool validatedOnLeave = true;
    f.view.onSink = [&] { validatedOnLeave = f.entry.validatesOnLeave(); };
    f.entry.setValueText(QStringLiteral("121")); // the up arrow stepped the Tag
    f.entry.spinnerChanged(120);
    QCOMPARE(f.view.sinks, 1);
    QVERIFY(!validatedOnLeave); // leaving the field for the sink checks nothing more
    QVERIFY(f.entry.validatesOnLeave());
    QVERIFY(!f.entry.editing());
    QVERIFY(!f.form.escape);
    QCOMPARE(f.accepted.size(), 1);
    QCOMPARE(f.accepted[0].value, 121);
    QCOMPARE(f.accepted[0].writeText, QStringLiteral("121"));
    QVERIFY(f.prompter.calls().isEmpty());

    // A stepped value the form refuses puts the value it stepped from back.
    f.acceptResult = false;
    f.entry.setValueText(QStringLiteral("122"));
    f.entry.spinnerChanged(121);
    QCOMPARE(f.entry.valueText(), QStringLiteral("121"));
    QCOMPARE(f.view.text, "121" + Deg);
}

void tst_NumericEntry::arrowWhileTypingChecksTheTypedEntryFirst()
{
    Field f(degreeTagField());
    f.entry.showValue(QStringLiteral("120"));
    f.entry.beginEditing();
    // Typed and accepted: stored and written, then the arrow steps from it.
    f.type(QStringLiteral("17.4") + Deg);
    QVERIFY(f.entry.beforeStep());
    QCOMPARE(f.accepted.size(), 1);
    QCOMPARE(f.accepted[0].value, 17);
    QCOMPARE(f.entry.valueText(), QStringLiteral("17"));
    QVERIFY(!f.entry.editing());
    // Not editing (the arrow clicked again): nothing to check.
    QVERIFY(f.entry.beforeStep());
    QCOMPARE(f.accepted.size(), 1);

    // Typed and refused: the range message, the saved value back, the focus
    // kept, and no step.
    f.entry.beginEditing();
    f.type(QStringLiteral("400"));
    QVERIFY(!f.entry.beforeStep());
    QCOMPARE(f.accepted.size(), 1);
    QCOMPARE(f.prompter.messages().size(), 1);
    QCOMPARE(f.prompter.messages()[0].text, QStringLiteral("Only a Number Between 0 and 359 can be Entered"));
    QCOMPARE(f.view.text, "17" + Deg);
    QCOMPARE(f.view.focusBacks, 1);
    QVERIFY(f.entry.editing());
}

void tst_NumericEntry::acceptRefusedByTheFormRestores()
{
    Field f(textField(QStringLiteral("Set-up")));
    f.view.text = QStringLiteral("150");
    f.entry.beginEditing();
    f.type(QStringLiteral("170"));
    f.acceptResult = false;
    QVERIFY(!f.entry.validate());
    QCOMPARE(f.accepted.size(), 1);
    QVERIFY(f.prompter.calls().isEmpty()); // the form said why itself
    QCOMPARE(f.view.text, QStringLiteral("150"));
    QCOMPARE(f.view.focusBacks, 1);
    QVERIFY(f.entry.editing());
}

// However often the field is left or taken (a menu command, a box, the focus
// coming back and going again), one typed entry is handed on once; a field
// entered and left without typing hands nothing on.
void tst_NumericEntry::aTypedEntryIsHandedOnOnce()
{
    Field f(degreeTagField());
    f.entry.showValue(QStringLiteral("254"));
    f.entry.beginEditing();
    QVERIFY(f.entry.validate());
    QVERIFY(f.accepted.isEmpty());
    QVERIFY(!f.entry.editing());
    f.entry.beginEditing();
    f.type(QStringLiteral("255"));
    QVERIFY(f.entry.holdsTypedEntry());
    QVERIFY(f.entry.validate());
    QVERIFY(f.entry.validate());
    f.entry.beginEditing();
    QVERIFY(f.entry.validate());
    QCOMPARE(f.accepted.size(), 1);
    QCOMPARE(f.accepted[0].value, 255);
    QVERIFY(!f.entry.holdsTypedEntry());
}

void tst_NumericEntry::exemptTextAndPlainOnBegin()
{
    NumericEntryOptions o = textField(QStringLiteral("Set-up"));
    o.exemptText = QStringLiteral("****");
    o.plainOnBegin = true;
    Field f(o);
    f.view.text = QStringLiteral("****");
    QCOMPARE(f.entry.check(), NumericEntry::Verdict::Exempt);
    QVERIFY(f.entry.validate());
    QVERIFY(f.accepted.isEmpty());
    QVERIFY(f.prompter.calls().isEmpty());
    f.view.text = QStringLiteral("12.7");
    f.entry.beginEditing();
    QCOMPARE(f.view.text, QStringLiteral("13"));
    QCOMPARE(f.entry.savedValue(), 13);
    f.type(QStringLiteral("---"));
    QCOMPARE(f.entry.check(), NumericEntry::Verdict::Rejected);
}

void tst_NumericEntry::roundingHelpers()
{
    QCOMPARE(roundedInt32(2.5), 2);
    QCOMPARE(roundedInt32(3.5), 4);
    QCOMPARE(roundedInt32(-2.5), -2);
    QCOMPARE(roundedInt32(1e20), std::numeric_limits<qint32>::max());
    QCOMPARE(roundedInt32(-1e20), std::numeric_limits<qint32>::min());
    QCOMPARE(numberText(120), QStringLiteral("120"));
    QCOMPARE(numberText(12.5), QStringLiteral("12.5"));
    QCOMPARE(numberText(-3), QStringLiteral("-3"));
    QCOMPARE(numericRangeMessage(0, 899), QStringLiteral("Only a Number Between 0 and 899 can be Entered"));
}

QTEST_GUILESS_MAIN(tst_NumericEntry)
#include "tst_numericentry.moc"
