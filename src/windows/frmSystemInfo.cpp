#include "windows/frmSystemInfo.h"

#include "shared/modUtility.h"
#include "windows/FormUtility.h"

#include <QClipboard>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

namespace talvek {

frmSystemInfo::frmSystemInfo(const QString& report, QWidget* parent)
    : QDialog(parent)
    , txtReport(new QPlainTextEdit(this))
    , cmdCopy(new QPushButton(QStringLiteral("&Copy"), this))
    , cmdClose(new QPushButton(QStringLiteral("Close"), this))
{
    setObjectName(QStringLiteral("frmSystemInfo"));
    setWindowTitle(QStringLiteral("System Information - ") + kAppTitle);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    txtReport->setObjectName(QStringLiteral("txtReport"));
    cmdCopy->setObjectName(QStringLiteral("cmdCopy"));
    cmdClose->setObjectName(QStringLiteral("cmdClose"));

    txtReport->setReadOnly(true);
    txtReport->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtReport->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    txtReport->setPlainText(report);
    // Wide enough for the longest line (paths are long), within the screen.
    const QFontMetrics metrics(txtReport->font());
    int widest = metrics.horizontalAdvance(QLatin1Char('x')) * 80;
    const QStringList lines = report.split(QLatin1Char('\n'));
    for (const QString& line : lines)
        widest = std::max(widest, metrics.horizontalAdvance(line));
    int room = widest + 40;
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        room = std::min(room, screen->availableGeometry().width() * 9 / 10);
    txtReport->setMinimumSize(room, metrics.lineSpacing() * int(std::min<qsizetype>(lines.size() + 2, 30)));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdCopy);
    buttons->addWidget(cmdClose);
    cmdClose->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(txtReport, 1);
    layout->addLayout(buttons);

    connect(cmdCopy, &QPushButton::clicked, this, &frmSystemInfo::cmdCopy_Click);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::close);
    adjustSize();
    CenterForm(this);
}

void frmSystemInfo::cmdCopy_Click()
{
    QGuiApplication::clipboard()->setText(txtReport->toPlainText());
}

} // namespace talvek
