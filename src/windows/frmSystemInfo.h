#pragma once

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

namespace talvek {

// The system information of this installation (systemInfoReport) where the
// platform has no system information program of its own, with a button that
// copies it for a support call. Shown without being modal; closing deletes it.
class frmSystemInfo final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmSystemInfo)

public:
    explicit frmSystemInfo(const QString& report, QWidget* parent = nullptr);

    QPlainTextEdit* txtReport;
    QPushButton* cmdCopy;
    QPushButton* cmdClose;

private:
    void cmdCopy_Click();
};

} // namespace talvek
