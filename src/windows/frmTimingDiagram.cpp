// The machine timing window's diagram page: the channels of the grid drawn
// over the press cycle, from the state the editor publishes (it reads
// nothing from the controller of its own).

#include "base/Prompter.h"
#include "windows/FormUtility.h"
#include "windows/frmTiming.h"
#include "windows/TimingDiagramView.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QVBoxLayout>

namespace talvek {

void frmTiming::buildDiagramPage(QFrame* page)
{
    tbsTiming->addTab(QStringLiteral("Timing &Diagram"));
    m_diagramPage = new QFrame(page);
    m_diagramPage->setObjectName(QStringLiteral("diagramPage"));
    m_diagramPage->setFrameShape(QFrame::NoFrame);
    m_diagramView = new TimingDiagramView(m_diagramPage);
    m_exportDiagram = new QPushButton(QStringLiteral("E&xport as PNG..."), m_diagramPage);
    m_exportDiagram->setObjectName(QStringLiteral("cmdExportDiagram"));
    m_exportDiagram->setAutoDefault(true);
    auto* layout = new QVBoxLayout(m_diagramPage);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_diagramView, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_exportDiagram);
    layout->addLayout(buttons);
    page->layout()->addWidget(m_diagramPage);
    m_diagramPage->hide();

    connect(m_diagramView, &TimingDiagramView::barClicked, this, &frmTiming::showChannelOfBar);
    connect(m_diagramView, &TimingDiagramView::exportRequested, this, &frmTiming::exportDiagram);
    connect(m_exportDiagram, &QPushButton::clicked, this, &frmTiming::exportDiagram);
    // What is typed or stepped into a setpoint field is in the editor's
    // state before it is published (the editor hears of it first): the
    // diagram follows the field at once.
    for (QLineEdit* box : txtChannel) {
        if (box)
            connect(box, &QLineEdit::textChanged, this,
                [this] { m_diagramView->setDiagram(buildTimingDiagram(diagramInputOf(m_editor->state()))); });
    }
}

// A bar was clicked: its channel's ON field, on the grid's page.
void frmTiming::showChannelOfBar(int channel)
{
    if (channel < 0 || channel >= kChannelCount)
        return;
    tbsTiming->setCurrentIndex(0);
    QLineEdit* box = txtChannel[size_t(channel)];
    if (fraTiming[0]->isVisible() && box->isEnabled()) {
        box->setFocus(Qt::MouseFocusReason);
        SelectAllText(box);
    }
}

void frmTiming::exportDiagram()
{
    FileDialogRequest request;
    request.title = QStringLiteral("Export Timing Diagram");
    request.filter = QStringLiteral("PNG Images (*.png)|*.png|All Files (*.*)|*.*");
    request.fileName = QStringLiteral("timing.png");
    request.defaultExt = QStringLiteral("png");
    request.overwritePrompt = true;
    const std::optional<QString> path = m_prompter.saveFileName(request);
    if (!path)
        return;
    if (!m_diagramView->grab().save(*path, "PNG"))
        m_prompter.msgBox(QStringLiteral("Unable to Save the Timing Diagram to ") + *path, QStringLiteral("Timing Diagram"),
            MsgIcon::Critical, MsgButtons::OK);
}

} // namespace talvek
