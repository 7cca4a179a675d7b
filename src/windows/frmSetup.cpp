#include "frmSetup.h"

#include "BasicText.h"
#include "ControlArray.h"
#include "FormUtility.h"
#include "K7700Registers.h"
#include "MachineData.h"
#include "NumericField.h"
#include "RSComm.h"
#include "UpDown.h"
#include "modUtility.h"

#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabBar>
#include <QVBoxLayout>
#include <algorithm>

namespace talvek {

namespace {

struct FieldRow
{
    const char* caption;
    int max;
    const char* address;
};

// Field i shows row i + 7 of the data; fields 0..2 are in crank degrees.
constexpr std::array<FieldRow, frmSetup::FieldCount> kFields { {
    { "B&DC Stop Position (Low Speed):", 359, reg::bdcStopLow.text },
    { "BD&C Stop Position (High Speed):", 359, reg::bdcStopHigh.text },
    { "&Maximum Allowed Stopping Response (deg):", 999, reg::maxStoppingResponse.text },
    { "&Low Speed (SPM):", 899, reg::bodymakerLowSpeed.text },
    { "High &Speed (SPM):", 999, reg::bodymakerHighSpeed.text },
    { "&Maximum Speed (full scale calibration) - CPM:", 999, reg::trimmerMaxSpeed.text },
    { "&Idle Speed (Bodymaker Stopped) - CPM:", 999, reg::trimmerIdleSpeed.text },
    { "High Speed &Offset (Trimmer Infeed Covered) - CPM:", 999, reg::trimmerHighSpeedOffset.text },
} };

constexpr int BrakeWearRow = 6;
constexpr int LastDegreeField = 2;
const QString NoValue = QStringLiteral("-");

// A check box whose grayed state only the program sets: a click on a grayed
// or clear box checks it, a click on a checked box clears it.
class SwitchCheckBox final : public QCheckBox
{
public:
    using QCheckBox::QCheckBox;

protected:
    void nextCheckState() override
    {
        setCheckState(checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
    }
};

qint32 dataRow(int row)
{
    return CurrentData.ParamValue.value(row);
}

} // namespace

QString frmSetup::fieldAddress(int i)
{
    return QLatin1String(kFields.at(size_t(i)).address);
}

frmSetup::frmSetup(Prompter& prompter, RSComm& rs, OnlineModeSwitch& mode, QWidget* parent)
    : QWidget(parent)
    , tbsSetup(new QTabBar(this))
    , chkBrakeWearCompEnable(new SwitchCheckBox(QStringLiteral("Brake &Wear Compensation Enable:")))
    , cmdDefault(new QPushButton(QStringLiteral("-"), this))
    , m_rs(rs)
    , m_form(prompter)
{
    setObjectName(QStringLiteral("frmSetup"));
    setWindowTitle(QStringLiteral("Set-Up"));

    tbsSetup->setObjectName(QStringLiteral("tbsSetup"));
    auto* page = MakeTabPages(this, tbsSetup,
        { QStringLiteral("&Bodymaker Setup Parameters"), QStringLiteral("&Trimmer Parameters") }, "fraSetup",
        { QStringLiteral("Set Bodymaker Parameters"), QStringLiteral("Set Trimmer Parameters") }, fraSetup);

    const std::array<const char*, 3> groupCaptions { "Brake Wear Compensation", "Bodymaker Running Speeds",
        "Trimmer Speed References" };
    std::array<QGridLayout*, 3> grids {};
    for (int g = 0; g < 3; ++g) {
        auto* box = new QGroupBox(QLatin1String(groupCaptions[size_t(g)]), fraSetup[g < 2 ? 0 : 1]);
        box->setObjectName(ControlArrayName("fraParameters", g));
        grids[size_t(g)] = new QGridLayout(box);
        grids[size_t(g)]->setColumnStretch(3, 1);
        grids[size_t(g)]->setHorizontalSpacing(6);
        grids[size_t(g)]->setVerticalSpacing(8);
        fraParameters[size_t(g)] = box;
    }
    for (int k = 0; k < 2; ++k) {
        auto* l = new QVBoxLayout(fraSetup[size_t(k)]);
        l->setContentsMargins(0, 0, 0, 0);
        l->setSpacing(12);
        if (k == 0) {
            l->addWidget(fraParameters[0]);
            l->addWidget(fraParameters[1]);
        } else {
            l->addWidget(fraParameters[2]);
        }
        l->addStretch();
    }

    chkBrakeWearCompEnable->setParent(fraParameters[0]);
    chkBrakeWearCompEnable->setObjectName(QStringLiteral("chkBrakeWearCompEnable"));
    chkBrakeWearCompEnable->setTristate(true);
    // Caption on the left, the box in line with the text boxes.
    chkBrakeWearCompEnable->setLayoutDirection(Qt::RightToLeft);
    grids[0]->addWidget(chkBrakeWearCompEnable, 0, 0, Qt::AlignRight | Qt::AlignAbsolute);

    for (int i = 0; i < FieldCount; ++i) {
        const FieldRow& field = kFields[size_t(i)];
        const int g = i <= 2 ? 0 : (i <= 4 ? 1 : 2);
        QWidget* box = fraParameters[size_t(g)];
        auto* label = new QLabel(QLatin1String(field.caption), box);
        label->setObjectName(ControlArrayName("lblSetup", i));
        auto* text = new QLineEdit(box);
        text->setObjectName(ControlArrayName("txtSetup", i));
        text->setFixedWidth(72);
        auto* upd = new UpDown(box);
        upd->setObjectName(ControlArrayName("updSetup", i));
        upd->setRange(0, field.max);
        upd->setIncrement(1);
        upd->setFixedHeight(text->sizeHint().height());
        label->setBuddy(text);
        const int row = (g == 0 ? 1 : 0) + (i - (g == 0 ? 0 : (g == 1 ? 3 : 5)));
        grids[size_t(g)]->addWidget(label, row, 0);
        grids[size_t(g)]->addWidget(text, row, 1);
        grids[size_t(g)]->addWidget(upd, row, 2);
        lblSetup[size_t(i)] = label;
        txtSetup[size_t(i)] = text;
        updSetup[size_t(i)] = upd;

        NumericEntryOptions options;
        options.holder = ValueHolder::Tag;
        options.degrees = i <= LastDegreeField;
        options.title = QStringLiteral("Set-up");
        auto f = std::make_unique<NumericField>(m_form, text, upd, cmdDefault, options);
        f->entry().setOnAccept(
            [this, i](qint32 value, const QString& writeText) { return acceptField(i, value, writeText); });
        text->setText(NoValue);
        m_fields[size_t(i)] = std::move(f);
    }

    // One caption column for the three groups, so that the fields line up.
    int captionWidth = chkBrakeWearCompEnable->sizeHint().width();
    for (QLabel* l : lblSetup)
        captionWidth = std::max(captionWidth, l->sizeHint().width());
    for (QGridLayout* grid : grids)
        grid->setColumnMinimumWidth(0, captionWidth);

    SetUpFocusSink(cmdDefault);

    LayOutTabbedForm(this, tbsSetup, page, cmdDefault);

    // Tab order: the check box, then each field's text box and up-down.
    QWidget* previous = chkBrakeWearCompEnable;
    setTabOrder(tbsSetup, chkBrakeWearCompEnable);
    for (int i = 0; i < FieldCount; ++i) {
        setTabOrder(previous, txtSetup[size_t(i)]);
        setTabOrder(txtSetup[size_t(i)], updSetup[size_t(i)]);
        previous = updSetup[size_t(i)];
    }
    setTabOrder(previous, cmdDefault);

    connect(tbsSetup, &QTabBar::currentChanged, this, &frmSetup::tbsSetup_Click);
    connect(
        chkBrakeWearCompEnable, &QCheckBox::stateChanged, this, [this] { chkBrakeWearCompEnable_Click(); });

    m_loop = std::make_unique<RefreshLoop>(static_cast<RefreshClient&>(*this), rs, mode);
    m_loop->followVisibility(this, RefreshLoop::Activation::LoopPresents);
    Form_Load();
}

frmSetup::~frmSetup()
{
    m_form.live = false;
    if (m_loop)
        m_loop->stop();
    m_loop.reset();
    for (auto& f : m_fields)
        f.reset();
}

QString frmSetup::Tag(int i) const
{
    return m_fields.at(size_t(i))->entry().valueText();
}

bool frmSetup::editing(int i) const
{
    return m_fields.at(size_t(i))->entry().editing();
}

void frmSetup::Form_Load()
{
    for (int i = 0; i < FieldCount; ++i)
        m_address[size_t(i)] = fieldAddress(i);
    m_checkReady = false;
    m_lastOfflineEditing = OfflineEditing;
}

// Runs when the window is shown (not by the window system), before its
// refresh loop starts.
void frmSetup::Form_Activate()
{
    fraSetup[0]->setFrameShape(QFrame::NoFrame);
    fraSetup[1]->setFrameShape(QFrame::NoFrame);
    fraSetup[0]->hide();
    fraSetup[1]->hide();
    fraSetup[0]->show();
    m_first = 0;
    m_last = 4;
    // The loop's first cycle applies the online or offline presentation.
}

// Runs when the window is hidden (not by the window system), after its
// refresh loop has stopped.
void frmSetup::Form_Unload()
{
    m_form.live = false;
    for (auto& f : m_fields)
        f->entry().setEditing(false);
}

void frmSetup::tbsSetup_Click(int index)
{
    const int k = index + 1;
    if (k < 1 || k > 2)
        return;
    if (m_form.holding) {
        // A refused entry keeps the operator in its field: the page stays.
        const QSignalBlocker block(tbsSetup);
        tbsSetup->setCurrentIndex(fraSetup[0]->isHidden() ? 1 : 0);
        return;
    }
    fraSetup[0]->hide();
    fraSetup[1]->hide();
    fraSetup[size_t(k - 1)]->show();
    m_tabChanged = true;
    if (k == 1) {
        m_first = 0;
        m_last = 4;
    } else {
        m_first = 5;
        m_last = 7;
    }
}

int frmSetup::checkValue() const
{
    switch (chkBrakeWearCompEnable->checkState()) {
    case Qt::Unchecked:
        return 0;
    case Qt::Checked:
        return 1;
    default:
        return 2;
    }
}

void frmSetup::setCheckValue(int value)
{
    // 0 clear, 1 checked, 2 grayed; any other number shows as checked.
    const Qt::CheckState state
        = value == 0 ? Qt::Unchecked : (value == 2 ? Qt::PartiallyChecked : Qt::Checked);
    chkBrakeWearCompEnable->setCheckState(state);
}

void frmSetup::chkBrakeWearCompEnable_Click()
{
    // Raised by the refresh's own changes too; ignored until a real value
    // is in the box.
    if (!m_checkReady)
        return;
    const int value = checkValue();
    if (BrakeWearRow < CurrentData.ParamValue.size())
        CurrentData.ParamValue[BrakeWearRow] = value;
    if (m_rs.OnlineMode && !m_rs.CommError)
        m_rs.RSWrite(BrakeWearAddress, QString::number(value));
}

bool frmSetup::acceptField(int i, qint32 value, const QString& writeText)
{
    const int row = fieldRow(i);
    if (row < CurrentData.ParamValue.size())
        CurrentData.ParamValue[row] = value;
    if (m_rs.OnlineMode && !m_rs.CommError)
        m_rs.RSWrite(m_address[size_t(i)], writeText);
    return true;
}

void frmSetup::presentControls(bool enabled)
{
    if (!m_form.live) {
        // A field that took the focus while the window was being shown was
        // never entered: the focus waits on the focus sink instead.
        for (QLineEdit* t : txtSetup) {
            if (t->hasFocus())
                cmdDefault->setFocus(Qt::OtherFocusReason);
        }
    }
    for (QGroupBox* g : fraParameters)
        g->setEnabled(enabled);
    for (int i = 0; i < FieldCount; ++i) {
        lblSetup[size_t(i)]->setEnabled(enabled);
        m_fields[size_t(i)]->setEnabled(enabled);
        txtSetup[size_t(i)]->setText(NoValue);
    }
    chkBrakeWearCompEnable->setEnabled(enabled);
    setCheckValue(2);
    m_form.live = true;
}

void frmSetup::applyOnlinePresentation()
{
    m_checkReady = false;
    for (auto& f : m_fields)
        f->entry().setEditing(false);
    presentControls(true);
}

void frmSetup::applyOfflinePresentation()
{
    m_checkReady = false;
    for (auto& f : m_fields)
        f->entry().setEditing(false);
    presentControls(OfflineEditing);
}

int frmSetup::beginOnlinePass()
{
    m_passFirst = m_first;
    return m_last - m_first + 1;
}

bool frmSetup::onlineItem(int index)
{
    if (m_tabChanged) {
        // The next pass takes the fields of the newly selected tab.
        m_tabChanged = false;
        return false;
    }
    const int n = m_passFirst + index;
    const QString value = m_rs.RSRead(m_address[size_t(n)]);
    if (m_rs.CommError)
        return false;
    if (n == 0) {
        const QString brakeWear = m_rs.RSRead(BrakeWearAddress);
        if (!m_rs.CommError) {
            setCheckValue(RoundedInt32(Val(brakeWear)));
            m_checkReady = true;
        }
    }
    NumericEntry& e = m_fields[size_t(n)]->entry();
    if (!e.editing())
        e.showValue(value);
    return !m_rs.CommError;
}

void frmSetup::offlinePass()
{
    if (OfflineEditing != m_lastOfflineEditing) {
        // The next cycle applies the offline presentation with the new enabling.
        m_loop->setOfflinePresented(false);
        m_lastOfflineEditing = OfflineEditing;
    }
    for (int n = 0; n < FieldCount; ++n) {
        setCheckValue(dataRow(BrakeWearRow));
        m_checkReady = true;
        NumericEntry& e = m_fields[size_t(n)]->entry();
        if (!e.editing())
            e.showValue(QString::number(dataRow(fieldRow(n))));
    }
}

} // namespace talvek
