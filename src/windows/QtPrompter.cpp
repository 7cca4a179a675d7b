#include "windows/QtPrompter.h"

#include "shared/modUtility.h"
#include "print/QtReportPrinter.h"
#include "windows/HelpViewer.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QScreen>
#include <algorithm>

namespace talvek {

namespace {

QWidget* dialogParent()
{
    if (QWidget* w = QApplication::activeModalWidget())
        return w;
    return QApplication::activeWindow();
}

QMessageBox::Icon qtIcon(MsgIcon icon)
{
    switch (icon) {
    case MsgIcon::Critical:
        return QMessageBox::Critical;
    case MsgIcon::Question:
        return QMessageBox::Question;
    case MsgIcon::Exclamation:
        return QMessageBox::Warning;
    case MsgIcon::Information:
        return QMessageBox::Information;
    case MsgIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

struct ButtonKind
{
    QMessageBox::StandardButton qt;
    MsgResult result;
};

QList<ButtonKind> buttonsOf(MsgButtons buttons)
{
    switch (buttons) {
    case MsgButtons::OK:
        return { { QMessageBox::Ok, MsgResult::OK } };
    case MsgButtons::OKCancel:
        return { { QMessageBox::Ok, MsgResult::OK }, { QMessageBox::Cancel, MsgResult::Cancel } };
    case MsgButtons::AbortRetryIgnore:
        return { { QMessageBox::Abort, MsgResult::Abort }, { QMessageBox::Retry, MsgResult::Retry },
            { QMessageBox::Ignore, MsgResult::Ignore } };
    case MsgButtons::YesNoCancel:
        return { { QMessageBox::Yes, MsgResult::Yes }, { QMessageBox::No, MsgResult::No },
            { QMessageBox::Cancel, MsgResult::Cancel } };
    case MsgButtons::YesNo:
        return { { QMessageBox::Yes, MsgResult::Yes }, { QMessageBox::No, MsgResult::No } };
    case MsgButtons::RetryCancel:
        return { { QMessageBox::Retry, MsgResult::Retry }, { QMessageBox::Cancel, MsgResult::Cancel } };
    }
    return { { QMessageBox::Ok, MsgResult::OK } };
}

// The escape answer of a box closed without a button: Cancel where there is
// one, else the box's only sensible "no" (No, Ignore) or its single button.
MsgResult escapeResult(MsgButtons buttons)
{
    switch (buttons) {
    case MsgButtons::OK:
        return MsgResult::OK;
    case MsgButtons::YesNo:
        return MsgResult::No;
    case MsgButtons::AbortRetryIgnore:
        return MsgResult::Abort;
    default:
        return MsgResult::Cancel;
    }
}

// A file dialog is as big as it likes to be, which on a small or scaled
// screen (1024x600 at scale 1.5) puts its buttons off the screen: it is made
// to fit the screen, with room for a window manager's frame, and centred.
void fitToScreen(QDialog& dialog)
{
    QScreen* screen = dialog.parentWidget() ? dialog.parentWidget()->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const QSize room = area.size() - QSize(16, 40);
    const QSize size = dialog.sizeHint().expandedTo(dialog.size()).boundedTo(room).expandedTo(dialog.minimumSizeHint().boundedTo(room));
    dialog.resize(size);
    dialog.move(area.left() + (area.width() - size.width()) / 2, area.top() + (area.height() - size.height()) / 2);
}

} // namespace

QString qtLineBreaks(const QString& text)
{
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return t;
}

QString qtShownText(const QString& text)
{
    QString t;
    t.reserve(text.size());
    for (const QChar c : text) {
        if (c.unicode() >= 0x20 || c == QLatin1Char('\t') || c == QLatin1Char('\r') || c == QLatin1Char('\n'))
            t.append(c);
    }
    return t;
}

void discardQueuedInput()
{
    // Keys that waited in the queue while the program was busy (a silent
    // line holds an exchange for seconds) are thrown away here, before the
    // box is up: only a key pressed while the box is on screen answers it.
    class KeyEater final : public QObject
    {
    protected:
        bool eventFilter(QObject*, QEvent* event) override
        {
            switch (event->type()) {
            case QEvent::KeyPress:
            case QEvent::KeyRelease:
            case QEvent::ShortcutOverride:
            case QEvent::Shortcut:
                return true;
            default:
                return false;
            }
        }
    };
    KeyEater eater;
    QCoreApplication::instance()->installEventFilter(&eater);
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    QCoreApplication::removePostedEvents(nullptr, QEvent::KeyPress);
    QCoreApplication::removePostedEvents(nullptr, QEvent::KeyRelease);
    QCoreApplication::instance()->removeEventFilter(&eater);
}

QStringList qtNameFilters(const QString& dialogFilter)
{
    const QStringList parts = dialogFilter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts.at(i).trimmed();
        QString patterns = parts.at(i + 1).trimmed();
        if (patterns.isEmpty())
            continue;
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        const QString bracketed = QLatin1Char('(') + patterns + QLatin1Char(')');
        if (description.endsWith(bracketed))
            filters.append(description);
        else if (description.isEmpty())
            filters.append(bracketed);
        else
            filters.append(description + QLatin1Char(' ') + bracketed);
    }
    return filters;
}

QString qtTabColumns(const QString& text)
{
    if (!text.contains(QLatin1Char('\t')))
        return QString();
    const QStringList lines = qtLineBreaks(text).split(QLatin1Char('\n'));
    QString html;
    bool inTable = false;
    for (const QString& line : lines) {
        const qsizetype tab = line.indexOf(QLatin1Char('\t'));
        if (tab >= 0) {
            if (!inTable)
                html += QStringLiteral("<table cellspacing=\"0\" cellpadding=\"1\">");
            inTable = true;
            const QString caption = line.left(tab).trimmed();
            const QString value = line.mid(tab).trimmed();
            html += QStringLiteral("<tr><td style=\"padding-left:16px; padding-right:16px\">")
                + caption.toHtmlEscaped() + QStringLiteral("</td><td>") + value.toHtmlEscaped()
                + QStringLiteral("</td></tr>");
            continue;
        }
        if (inTable)
            html += QStringLiteral("</table>");
        inTable = false;
        html += QStringLiteral("<div>") + (line.isEmpty() ? QStringLiteral("&nbsp;") : line.toHtmlEscaped())
            + QStringLiteral("</div>");
    }
    if (inTable)
        html += QStringLiteral("</table>");
    return html;
}

QtPrompter::QtPrompter() = default;

QtPrompter::~QtPrompter()
{
    delete m_help.data();
}

MsgResult QtPrompter::msgBox(
    const QString& text, const QString& title, MsgIcon icon, MsgButtons buttons, MsgDefault defaultButton)
{
    discardQueuedInput();
    QMessageBox box(dialogParent());
    // Characters that cannot be shown (the NUL bytes of an empty program
    // ident) are left out rather than drawn as boxes.
    box.setWindowTitle(qtShownText(title));
    const QString shown = qtShownText(text);
    const QString columns = qtTabColumns(shown);
    if (columns.isEmpty()) {
        box.setText(qtLineBreaks(shown));
        box.setTextFormat(Qt::PlainText);
    } else {
        box.setText(columns);
        box.setTextFormat(Qt::RichText);
    }
    box.setIcon(qtIcon(icon));
    const QList<ButtonKind> kinds = buttonsOf(buttons);
    for (const ButtonKind& kind : kinds)
        box.addButton(kind.qt);
    const qsizetype chosen = std::min<qsizetype>(qsizetype(defaultButton), kinds.size() - 1);
    box.setDefaultButton(kinds.at(chosen).qt);
    box.exec();
    const auto* clicked = box.clickedButton();
    for (const ButtonKind& kind : kinds)
        if (clicked && clicked == box.button(kind.qt))
            return kind.result;
    return escapeResult(buttons);
}

std::optional<QString> QtPrompter::inputBox(
    const QString& prompt, const QString& title, const QString& defaultText)
{
    discardQueuedInput();
    QInputDialog dialog(dialogParent());
    dialog.setWindowTitle(title);
    dialog.setLabelText(qtLineBreaks(prompt));
    dialog.setTextValue(defaultText);
    dialog.setInputMode(QInputDialog::TextInput);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
}

std::optional<QString> QtPrompter::openFileName(const FileDialogRequest& request)
{
    return fileDialog(request, false);
}

std::optional<QString> QtPrompter::saveFileName(const FileDialogRequest& request)
{
    return fileDialog(request, true);
}

std::optional<QString> QtPrompter::fileDialog(const FileDialogRequest& request, bool save)
{
    discardQueuedInput();
    QFileDialog dialog(dialogParent(), request.title);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile
                            : (request.fileMustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile));
    if (!request.overwritePrompt)
        dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    const QStringList filters = qtNameFilters(request.filter);
    if (!filters.isEmpty())
        dialog.setNameFilters(filters);
    if (!request.defaultExt.isEmpty())
        dialog.setDefaultSuffix(request.defaultExt);

    QString name = request.fileName;
    name.replace(QLatin1Char('\\'), QLatin1Char('/'));
    QString dir = request.initialDir;
    if (!name.isEmpty()) {
        const QFileInfo info(name);
        if (name.contains(QLatin1Char('/')))
            dir = info.path();
        name = info.fileName();
    }
    if (!dir.isEmpty())
        dialog.setDirectory(dir);
    // A wildcard name ("*.sdt") only says which files to list.
    if (!name.isEmpty() && !name.contains(QLatin1Char('*')) && !name.contains(QLatin1Char('?')))
        dialog.selectFile(name);

    fitToScreen(dialog);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.first().isEmpty())
        return std::nullopt;
    return chosen.first();
}

bool QtPrompter::showHelp(const QString& path)
{
    // "file#page": the document at that page (a file whose own name has a
    // "#" is the file).
    const qsizetype hash = path.lastIndexOf(QLatin1Char('#'));
    const bool paged = hash > 0 && !QFileInfo(path).isFile();
    const QString file = paged ? path.left(hash) : path;
    const QString page = paged ? path.mid(hash + 1) : QString();
    if (!QFileInfo(file).isFile()) {
        // The help viewer reports its own missing document.
        QMessageBox::warning(dialogParent(), kAppTitle + QStringLiteral(" Help"),
            QStringLiteral("Cannot find the help file\n%1").arg(file));
        return false;
    }
    if (!m_help)
        m_help = new HelpViewer();
    m_help->openDocument(file, page);
    return true;
}

std::optional<PrinterSettings> QtPrompter::printerDialog(const PrinterSettings& current)
{
    QPrinter printer;
    applyPrinterSettings(printer, current);
    QPrintDialog dialog(&printer, dialogParent());
    // A set-up of printer and page: the whole document is always printed.
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return printerSettingsOf(printer);
}

} // namespace talvek
