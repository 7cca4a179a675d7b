#include "windows/frmAbout.h"

#include "shared/modUtility.h"
#include "windows/FormUtility.h"
#include "windows/frmSystemInfo.h"

#include <QApplication>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace talvek {

namespace {

QFrame* separatorLine(QWidget* parent, const QString& name)
{
    auto* line = new QFrame(parent);
    line->setObjectName(name);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

constexpr int kTextWidth = 400;

const QString kDescription = QStringLiteral(
    "Set-up and monitoring utility for the K7700 controller of the bodymaker and trimmer press line.\n"
    "\n"
    "This program, its help and its support files belong to the owner of the press line controller "
    "software and are supplied for use with that equipment only. Copying or passing them on to "
    "others needs the owner's permission. Changes written to a running controller take effect at "
    "once: make them only when you are trained and authorised to set up the machine.");

const QString kTechSupport = QStringLiteral(
    "Technical support: contact the supplier of your press line controller.\n\n"
    "Have at hand the version shown above, the program identity shown by View > Target Board "
    "Interface, and the set-up data file (.sdt) in use. The operator help (Help > Help Topics) "
    "answers most set-up questions.");

} // namespace

QString frmAbout::versionText()
{
    return QStringLiteral("Version %1.%2.%3")
        .arg(TALVEK_VERSION_MAJOR)
        .arg(TALVEK_VERSION_MINOR)
        .arg(TALVEK_VERSION_PATCH);
}

frmAbout::frmAbout(Prompter& prompter, RegistryReader& registry, ProgramStarter starter,
    std::function<QString()> report, QWidget* parent)
    : QDialog(parent)
    , picIcon(new QLabel(this))
    , lblTitle(new QLabel(this))
    , lblVersion(new QLabel(this))
    , lblDescription(new QLabel(this))
    , lblTechSupport(new QLabel(this))
    , line1(separatorLine(this, QStringLiteral("Line1")))
    , line2(separatorLine(this, QStringLiteral("Line2")))
    , cmdOK(new QPushButton(QStringLiteral("OK"), this))
    , cmdSysInfo(new QPushButton(QStringLiteral("&System Info..."), this))
    , m_prompter(prompter)
    , m_registry(registry)
    , m_starter(std::move(starter))
    , m_report(std::move(report))
{
    setObjectName(QStringLiteral("frmAbout"));
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    nameAndStyleControls();
    arrangeControls();

    // Load: centred, captioned, version and title filled in.
    setWindowTitle(QStringLiteral("About ") + kAppTitle);
    lblVersion->setText(versionText());
    lblTitle->setText(kAppTitle);
    adjustSize();
    CenterForm(this);

    connect(cmdOK, &QPushButton::clicked, this, &QDialog::close);
    connect(cmdSysInfo, &QPushButton::clicked, this, &frmAbout::cmdSysInfo_Click);
}

void frmAbout::nameAndStyleControls()
{
    picIcon->setObjectName(QStringLiteral("picIcon"));
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    lblDescription->setObjectName(QStringLiteral("lblDescription"));
    lblTechSupport->setObjectName(QStringLiteral("lblTechSupport"));
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdSysInfo->setObjectName(QStringLiteral("cmdSysInfo"));

    picIcon->setPixmap(talvekIcon().pixmap(48, 48));
    picIcon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    QFont titleFont = lblTitle->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.6);
    titleFont.setBold(true);
    lblTitle->setFont(titleFont);
    // Word-wrapped texts of a fixed width, so that their height is known.
    lblDescription->setWordWrap(true);
    lblDescription->setFixedWidth(kTextWidth);
    lblDescription->setText(kDescription);
    lblTechSupport->setWordWrap(true);
    lblTechSupport->setFixedWidth(kTextWidth);
    lblTechSupport->setText(kTechSupport);
    cmdOK->setDefault(true);
}

void frmAbout::arrangeControls()
{
    auto* text = new QVBoxLayout;
    text->addWidget(lblTitle);
    text->addWidget(lblVersion);
    text->addSpacing(8);
    text->addWidget(lblDescription);

    auto* top = new QHBoxLayout;
    top->addWidget(picIcon, 0, Qt::AlignTop);
    top->addSpacing(12);
    top->addLayout(text, 1);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdSysInfo);
    buttons->addStretch();

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(lblTechSupport, 1);
    bottom->addSpacing(12);
    bottom->addLayout(buttons);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(line1);
    layout->addLayout(bottom);
    layout->addWidget(line2);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void frmAbout::cmdSysInfo_Click()
{
    startSystemInfo(m_registry, m_starter, m_prompter, [this] {
        if (!m_report)
            return false;
        const QString text = m_report();
        if (text.isEmpty())
            return false;
        // One window at a time, showing what is true now.
        delete m_systemInfo.data();
        m_systemInfo = new frmSystemInfo(text, this);
        m_systemInfo->show();
        m_systemInfo->raise();
        m_systemInfo->activateWindow();
        return true;
    });
}

} // namespace talvek
