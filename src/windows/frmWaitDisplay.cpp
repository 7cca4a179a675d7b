#include "windows/frmWaitDisplay.h"

#include "shared/modUtility.h"
#include "windows/FormUtility.h"

#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

namespace talvek {

namespace {

// Lets pending paint and timer events run; operator input waits, so nothing
// can start another command while the window is up.
void letPendingEventsRun()
{
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

} // namespace

frmWaitDisplay::frmWaitDisplay(int reportMode, std::function<void()> produceReport, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
    , fraWaitDisplay(new QGroupBox(this))
    , lblWaitDisplay(new QLabel(QStringLiteral("Please Standby ..."), fraWaitDisplay))
    , m_reportMode(reportMode)
    , m_produceReport(std::move(produceReport))
{
    setObjectName(QStringLiteral("frmWaitDisplay"));
    fraWaitDisplay->setObjectName(QStringLiteral("fraWaitDisplay"));
    lblWaitDisplay->setObjectName(QStringLiteral("lblWaitDisplay"));
    setWindowTitle(kAppTitle);

    QFont font = lblWaitDisplay->font();
    font.setPointSizeF(font.pointSizeF() * 1.3);
    font.setBold(true);
    lblWaitDisplay->setFont(font);
    lblWaitDisplay->setAlignment(Qt::AlignCenter);

    auto* inner = new QVBoxLayout(fraWaitDisplay);
    inner->setContentsMargins(24, 24, 24, 24);
    inner->addWidget(lblWaitDisplay);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(4, 4, 4, 4);
    outer->addWidget(fraWaitDisplay);
    setMinimumWidth(380);
}

QString frmWaitDisplay::waitText(int reportMode)
{
    return reportMode == kReportModeGenerate ? QStringLiteral("Generating Report, Please Standby ...")
                                            : QStringLiteral("Please Standby ...");
}

void frmWaitDisplay::run()
{
    lblWaitDisplay->setText(waitText(m_reportMode));
    adjustSize();
    CenterForm(this);
    show();
    letPendingEventsRun();
    if (m_reportMode == kReportModeGenerate && m_produceReport) {
        m_produceReport();
        letPendingEventsRun();
    }
    hide();
    letPendingEventsRun();
}

void showWaitDisplay(int reportMode, const std::function<void()>& produceReport, QWidget* parent)
{
    frmWaitDisplay window(reportMode, produceReport, parent);
    window.run();
}

} // namespace talvek
