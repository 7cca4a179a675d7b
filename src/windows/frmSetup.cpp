#include "windows/frmSetup.h"

#include "base/Placeholders.h"
#include "shared/SetupCatalogue.h"

#include "windows/ControlArray.h"
#include "windows/FormUtility.h"
#include "windows/NumericField.h"
#include "windows/UpDown.h"

#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QTabBar>
#include <QVBoxLayout>
#include <algorithm>

namespace talvek {

namespace {

// The three group boxes hold the groups of the set-up rows, in row order.
constexpr ParamGroup kFirstGroup = ParamGroup::BrakeWear;

const ParamRow& catalogueRow(int row)
{
    return kParamCatalogue.at(size_t(row));
}

int groupBox(int row)
{
    return int(catalogueRow(row).group) - int(kFirstGroup);
}

// The page a group box is on: that of its rows.
int pageOfBox(int box)
{
    for (const ParamRow& p : kParamCatalogue) {
        if (int(p.group) - int(kFirstGroup) == box)
            return p.page;
    }
    return 0;
}

// A row's line in its group box: the rows of the group before it (the
// brake wear switch is the first of its group).
int gridRow(int row)
{
    int line = 0;
    for (int r = 0; r < row; ++r)
        line += catalogueRow(r).group == catalogueRow(row).group ? 1 : 0;
    return line;
}

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

} // namespace

frmSetup::frmSetup(Prompter& prompter, RSComm& rs, OnlineModeSwitch& mode, QWidget* parent)
    : ChildWindow(parent)
    , tbsSetup(new QTabBar(this))
    , chkBrakeWearCompEnable(new SwitchCheckBox(SetupParameters::brakeWearCaption()))
    , cmdDefault(makeFocusSink(QStringLiteral("-")))
    , m_parameters(prompter, rs)
{
    setObjectName(QStringLiteral("frmSetup"));
    setWindowTitle(QStringLiteral("Set-Up"));
    setEntryForm(m_parameters.entryForm());

    tbsSetup->setObjectName(QStringLiteral("tbsSetup"));
    auto* page = makeTabPages(this, tbsSetup,
        { QStringLiteral("&Bodymaker Setup Parameters"), QStringLiteral("&Trimmer Parameters") }, "fraSetup",
        { QStringLiteral("Set Bodymaker Parameters"), QStringLiteral("Set Trimmer Parameters") }, fraSetup);

    std::array<QGridLayout*, 3> grids {};
    buildGroups(grids);
    for (int i = 0; i < kFieldCount; ++i) {
        const int row = SetupParameters::fieldRow(i);
        buildField(i, grids[size_t(groupBox(row))], gridRow(row));
    }

    // One caption column for the three groups, so that the fields line up.
    int captionWidth = chkBrakeWearCompEnable->sizeHint().width();
    for (QLabel* l : lblSetup)
        captionWidth = std::max(captionWidth, l->sizeHint().width());
    for (QGridLayout* grid : grids)
        grid->setColumnMinimumWidth(0, captionWidth);

    layOutTabbedForm(this, tbsSetup, page, cmdDefault);
    setTabOrders();

    connect(tbsSetup, &QTabBar::currentChanged, this, &frmSetup::tbsSetup_Click);
    connect(
        chkBrakeWearCompEnable, &QCheckBox::stateChanged, this, [this] { chkBrakeWearCompEnable_Click(); });
    connect(&m_parameters, &SetupParameters::presented, this, &frmSetup::drawPresentation);
    connect(&m_parameters, &SetupParameters::brakeWearShown, this, &frmSetup::drawBrakeWear);
    connect(&m_parameters, &SetupParameters::pageChanged, this, &frmSetup::drawPage);

    m_parameters.setRefreshLoop(
        followWithLoop(m_parameters, rs, mode, RefreshLoop::Activation::LoopPresents));
}

frmSetup::~frmSetup()
{
    tearDown();
}

// The three groups of the two pages, and the brake wear switch.
void frmSetup::buildGroups(std::array<QGridLayout*, 3>& grids)
{
    const std::array<const char*, 3> groupCaptions { "Brake Wear Compensation", "Bodymaker Running Speeds",
        "Trimmer Speed References" };
    for (int g = 0; g < 3; ++g) {
        auto* box = new QGroupBox(QLatin1String(groupCaptions[size_t(g)]), fraSetup[size_t(pageOfBox(g))]);
        box->setObjectName(controlArrayName("fraParameters", g));
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
        for (int g = 0; g < 3; ++g) {
            if (pageOfBox(g) == k)
                l->addWidget(fraParameters[size_t(g)]);
        }
        l->addStretch();
    }

    chkBrakeWearCompEnable->setParent(fraParameters[0]);
    chkBrakeWearCompEnable->setObjectName(QStringLiteral("chkBrakeWearCompEnable"));
    chkBrakeWearCompEnable->setTristate(true);
    // Caption on the left, the box in line with the text boxes.
    chkBrakeWearCompEnable->setLayoutDirection(Qt::RightToLeft);
    const int brakeWearRow = editorRow(ParamEditor::SetupSwitch);
    grids[size_t(groupBox(brakeWearRow))]->addWidget(
        chkBrakeWearCompEnable, gridRow(brakeWearRow), 0, Qt::AlignRight | Qt::AlignAbsolute);
}

void frmSetup::buildField(int i, QGridLayout* grid, int row)
{
    QWidget* box = grid->parentWidget();
    auto* label = new QLabel(SetupParameters::fieldCaption(i), box);
    label->setObjectName(controlArrayName("lblSetup", i));
    auto* text = new QLineEdit(box);
    text->setObjectName(controlArrayName("txtSetup", i));
    text->setFixedWidth(72);
    auto* upd = new UpDown(box);
    upd->setObjectName(controlArrayName("updSetup", i));
    upd->setRange(SetupParameters::fieldMin(i), SetupParameters::fieldMax(i));
    upd->setIncrement(1);
    upd->setFixedHeight(text->sizeHint().height());
    label->setBuddy(text);
    grid->addWidget(label, row, 0);
    grid->addWidget(text, row, 1);
    grid->addWidget(upd, row, 2);
    lblSetup[size_t(i)] = label;
    txtSetup[size_t(i)] = text;
    updSetup[size_t(i)] = upd;

    NumericEntryOptions options;
    options.holder = ValueHolder::Tag;
    options.degrees = i <= SetupParametersState::kLastDegreeField;
    options.title = QStringLiteral("Set-up");
    m_fields[size_t(i)]
        = std::make_unique<NumericField>(m_parameters.entryForm(), text, upd, cmdDefault, options);
    m_parameters.bindField(i, m_fields[size_t(i)]->entry());
    text->setText(placeholder::kNoValue);
}

// Tab order: the check box, then each field's text box and up-down.
void frmSetup::setTabOrders()
{
    QWidget* previous = chkBrakeWearCompEnable;
    setTabOrder(tbsSetup, chkBrakeWearCompEnable);
    for (int i = 0; i < kFieldCount; ++i) {
        setTabOrder(previous, txtSetup[size_t(i)]);
        setTabOrder(txtSetup[size_t(i)], updSetup[size_t(i)]);
        previous = updSetup[size_t(i)];
    }
    setTabOrder(previous, cmdDefault);
}

QString frmSetup::Tag(int i) const
{
    return m_fields.at(size_t(i))->entry().valueText();
}

bool frmSetup::editing(int i) const
{
    return m_fields.at(size_t(i))->entry().editing();
}

void frmSetup::tbsSetup_Click(int index)
{
    if (index < 0 || index > 1)
        return;
    // The entry in progress ends first, as leaving its field would (an access
    // key changes the page without moving the focus), with the tab strip
    // still showing the page the field is on; a refused entry keeps the
    // operator in its field: the page stays.
    const int shown = fraSetup[0]->isHidden() ? 1 : 0;
    if (index != shown) {
        const QSignalBlocker block(tbsSetup);
        tbsSetup->setCurrentIndex(shown);
        if (!m_parameters.entryForm().endEdit())
            return;
        tbsSetup->setCurrentIndex(index);
    }
    m_parameters.showPage(index);
}

void frmSetup::drawPage()
{
    const QFrame* shown = fraSetup[size_t(m_parameters.state().page)];
    QWidget* focus = QApplication::focusWidget();
    // The focus was on the page that goes (an access key changed the page):
    // it comes to the first field of the page shown, not to wherever the
    // focus chain leads from a hidden field.
    const bool onOtherPage = focus && isAncestorOf(focus) && !shown->isAncestorOf(focus)
        && (fraSetup[0]->isAncestorOf(focus) || fraSetup[1]->isAncestorOf(focus));
    fraSetup[0]->setFrameShape(QFrame::NoFrame);
    fraSetup[1]->setFrameShape(QFrame::NoFrame);
    fraSetup[0]->hide();
    fraSetup[1]->hide();
    fraSetup[size_t(m_parameters.state().page)]->show();
    if (onOtherPage)
        focusFirstField();
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

void frmSetup::drawBrakeWear()
{
    // 0 clear, 1 checked, 2 grayed; any other number shows as checked.
    const int value = m_parameters.state().brakeWear;
    const Qt::CheckState state
        = value == 0 ? Qt::Unchecked : (value == 2 ? Qt::PartiallyChecked : Qt::Checked);
    chkBrakeWearCompEnable->setCheckState(state);
}

void frmSetup::chkBrakeWearCompEnable_Click()
{
    m_parameters.brakeWearChanged(checkValue());
}

void frmSetup::showEvent(QShowEvent* event)
{
    ChildWindow::showEvent(event);
    if (!event->spontaneous())
        m_focusPlaced = false;
}

// The first field of the page shown that takes input, without entering it;
// the tab strip when none does.
void frmSetup::focusFirstField()
{
    for (int i = firstVisibleField(); i <= lastVisibleField(); ++i) {
        if (txtSetup[size_t(i)]->isEnabled() && txtSetup[size_t(i)]->isVisible()) {
            m_fields[size_t(i)]->focusQuietly();
            return;
        }
    }
    tbsSetup->setFocus(Qt::OtherFocusReason);
}

void frmSetup::drawPresentation()
{
    const bool enabled = m_parameters.state().enabled;
    for (QGroupBox* g : fraParameters)
        g->setEnabled(enabled);
    for (int i = 0; i < kFieldCount; ++i) {
        lblSetup[size_t(i)]->setEnabled(enabled);
        m_fields[size_t(i)]->setEnabled(enabled);
        txtSetup[size_t(i)]->setText(placeholder::kNoValue);
    }
    chkBrakeWearCompEnable->setEnabled(enabled);
    drawBrakeWear();
    // The window opened, or a field lost its entry to the presentation: the
    // focus goes to the first field (never to the focus sink, which cannot
    // be seen), where nothing begins until the operator types.
    QWidget* focus = QApplication::focusWidget();
    const bool inField = std::find(txtSetup.begin(), txtSetup.end(), focus) != txtSetup.end();
    if (!m_focusPlaced || inField || focus == cmdDefault) {
        m_focusPlaced = true;
        focusFirstField();
    }
}

} // namespace talvek
