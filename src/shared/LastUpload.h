#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>
#include <array>
#include <optional>
#include <utility>

namespace talvek {

struct MachineData;

// What the controller held at the last complete upload of each data group
// (the parameter rows and the 16 PLS channels' setpoints), kept for the
// program's run, so that a download can say how much of what it is about to
// write differs from it. A download of a group makes it unknown again.
class LastUpload final
{
public:
    // An upload of transfer code `code` ran to its end without a fault:
    // `data` holds what the controller held.
    void noteUpload(qint16 code, const MachineData& data);
    // A download of `code` was started: what the controller holds in those
    // groups is not what it held at the upload any more.
    void noteDownload(qint16 code);

    struct Differences
    {
        int rowCount = 0; // rows the download writes
        std::optional<int> rows; // of them, differing; none when not known
        bool timing = false; // the download writes the channels
        std::optional<int> channels; // of the 16, differing; none when not known
    };
    // What a download of `code` (10, 11, 12, 14) would change against the
    // last upload.
    Differences differences(qint16 code, const MachineData& data) const;

private:
    QList<std::optional<qint32>> m_rows;
    std::optional<std::array<std::pair<qint16, qint16>, 16>> m_channels;
};

// The line the download question adds: the data group, the set-up file's
// caption ("[unnamed]" or "[name.sdt]"), and, when known, how many rows and
// channels differ from what the controller held at the last upload.
QString downloadDataLine(qint16 code, const QString& fileCaption, const LastUpload::Differences& d);

// The question before a data download: "You are about to Download Data to
// the PLC", the line that says what goes, "Do You Wish to Continue?".
QString downloadDataQuestion(const QString& line);

} // namespace talvek
