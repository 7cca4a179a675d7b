#pragma once

#include "base/Outcome.h"

#include <QList>
#include <QString>
#include <optional>

namespace talvek {

// What the board may store before the link has seen it settle, kept on disk
// before the bytes that may make it store go out: the write-ahead record of
// the link.
//
// A run that dies inside a write triple (killed, a crashed PC, a pulled
// cable) leaves the board waiting for the rest of the triple: the next byte
// it hears from anyone is stored. The record names every address where that
// can happen, and where the interrupted write itself stored, so that the
// next run, TALVEK or talvek-cli, reads them back at its opening and says
// what they hold.
//
// The record is written (and synced) only when it does not already name
// what is asked for: once per write operation, with the addresses of the
// value and the address high:FF of each of its triples (a board waiting for
// a low byte takes the next 0xFF as it, and the byte after that as data for
// high:FF). It is one block of the file, overwritten in place and synced
// with fdatasync (the file's folder synced once, when the file is made):
// a sync of a rename and its folder per write would cost several times as
// much. A block the disk tore misses its "end" line and is read as a record
// that cannot tell where the board stored. Clearing it is not synced: a
// record that a crash brings back names bytes of a write that ended, which
// the next run reads back and names needlessly, but never wrongly.
class WriteAheadRecord final
{
public:
    // The file name of the record of a press's port: its device (followed to
    // the device a link points to, so that a port link and the device named
    // by itself share one record) or its URL, with every character that a
    // file name should not hold made '_'. One record per press: runs on
    // other ports (a plant's presses at once) never read each other's.
    static QString fileNameFor(const QString& device);

    WriteAheadRecord() = default;
    ~WriteAheadRecord();
    WriteAheadRecord(const WriteAheadRecord&) = delete;
    WriteAheadRecord& operator=(const WriteAheadRecord&) = delete;

    struct Entry
    {
        QList<int> addresses; // byte addresses, sorted, each once
        // A PLS write (scale factor, offset, channel, configuration) was
        // under way: the PLS takes the next bytes it hears as the write's.
        bool plsWrite = false;
        bool isEmpty() const { return addresses.isEmpty() && !plsWrite; }
        bool operator==(const Entry&) const = default;
    };

    // The record in `path`; none (nothing is kept) when empty.
    void setPath(const QString& path);
    const QString& path() const { return m_path; }
    bool enabled() const { return !m_path.isEmpty(); }

    // The record an earlier run left, read from disk (nothing when there is
    // none). One that cannot be read or is not whole names nothing it can
    // tell: `unreadable` is then set.
    struct Left
    {
        Entry entry;
        bool unreadable = false;
    };
    std::optional<Left> left() const;

    // Makes the record on disk name at least these addresses (and the PLS
    // write) before a byte that may store at them goes out. Nothing is
    // written when it already does. Fails (Cause::BadFile, with the path)
    // when the record could not be written: the caller must not send.
    Status cover(const QList<int>& addresses, bool plsWrite);
    bool covers(const QList<int>& addresses, bool plsWrite) const;
    // The board is at rest and every store is known: the record goes, but
    // for what keep() holds.
    void clear();
    // Names from an earlier run not yet read back: kept through clear()
    // until a run reads them (nothing: none).
    void keep(const Entry& entry);
    // The link closes: the file is let go, and removed when this link holds
    // it and it names nothing.
    void release();
    // What the file names was read back in full: it goes.
    void discard();
    // What the record names now.
    const Entry& held() const { return m_held; }
    // Times the record was written to disk (for the benchmark and tests).
    int writes() const { return m_writes; }

private:
    Status store(const Entry& entry);
    Status storeInPlace(const QByteArray& block);
    Status storeWhole(const QByteArray& text);
    void closeFile();

    QString m_path;
    Entry m_held;
    Entry m_kept;
    bool m_onDisk = false;
    int m_writes = 0;
    int m_fd = -1; // the record's file while this link writes it
};

} // namespace talvek
