#pragma once

#include "shared/MachineData.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// The set-up data file (".sdt"): one MachineData record as a flat binary
// image, little-endian, no header, no padding, texts as single bytes
// (Latin-1; characters outside it are written as "?"):
//
//   Version            16-bit length n, n bytes
//   ParamAddress       16-bit dimensions (1), 32-bit element count, 32-bit lower
//                      bound (0), then per row: 16-bit length n, n bytes
//   ParamValue         16-bit dimensions (1), 32-bit element count, 32-bit lower
//                      bound (0), then one signed 32-bit value per row
//   PlsChannelCount, PlsScaleFactor, PlsOffset, PlsProgram    signed 16-bit each
//   SpeedCompensation 0..7, OnSetpoint 0..15, OffSetpoint 0..15  signed 16-bit
//
// The counts are those of the record written, so a file of a program with
// another table size carries its own counts. The start-up defaults with a
// 13-character version make a 325-byte file.
//
// How the File menu commands use this module (the dialogs, questions and the
// title bar are the main window's):
//
//   New:      after the save question, newMachineData().
//   Open:     after the save question and the file dialog,
//             loadFileData(path, &reason). On failure CurrentData and FileData
//             are untouched and `reason` says why (the main window shows the
//             file name and the reason). On success compare FileData.Version
//             with ProgramVersion (exact), ask the version question when they
//             differ, and on acceptance call AcceptFileData(). Then set
//             DataReloaded = true (also when the question was cancelled).
//   Save:     saveCurrentData(path, &reason). On failure nothing changed in
//             memory and the file that stood at `path` is still there, whole.
//   Save As:  the dialog, IsUntitled = false, then Save.
namespace talvek {

// The most parameter rows a set-up file can have: ParamCount is a 16-bit
// number, so no program version has more than 32768 rows.
inline constexpr qint64 kMaxSetupFileRows = 32768;
// Files are read up to this size; a record that does not end within it is refused.
inline constexpr qint64 kMaxSetupFileBytes = 16 * 1024 * 1024;

// The file image of one record. Fails when a text is longer than 65535
// characters or a table has more than kMaxSetupFileRows rows.
bool encodeSetupRecord(const MachineData& record, QByteArray& bytes, QString* reason = nullptr);

// Reads one record from the start of `bytes` (bytes after it are ignored).
// On failure `record` is left as it was and `reason` says what is wrong.
// Never reads outside `bytes` and allocates no more rows than the bytes can hold.
bool decodeSetupRecord(QByteArrayView bytes, MachineData& record, QString* reason = nullptr);

// Reads the set-up file at `path` into `record` (replaced as a whole on
// success, untouched on failure). The tables take the counts stored in the file.
bool readSetupFile(const QString& path, MachineData& record, QString* reason = nullptr);

// Writes `record` to `path` through a temporary file that replaces the old
// file only when everything was written: a failed save leaves the file that
// stood there as it was. An existing longer file is replaced, not overwritten
// in place, so no bytes of it remain.
bool writeSetupFile(const QString& path, const MachineData& record, QString* reason = nullptr);

// ---- the data steps of the File menu commands ----

// New: CurrentData = DefaultData; SavedData = CurrentData; IsUntitled = true;
// DataReloaded = true.
void newMachineData();

// Open, reading: readSetupFile into FileData. The previous FileData is
// replaced only when the whole record was read.
[[nodiscard]] bool loadFileData(const QString& path, QString* reason = nullptr);

// Makes FileData the current data: both tables re-sized to rows
// 0..ParamCount keeping the rows present (a file with 20 rows keeps 0..17, one
// with 10 rows leaves 10..17 with an empty address and 0); CurrentData =
// FileData; SavedData = CurrentData; IsUntitled = false.
void AcceptFileData();

// Save: writes CurrentData stamped with ProgramVersion to `path`. Only when the
// file was written does CurrentData take the stamp and SavedData become a
// copy of it; a failed save changes nothing in memory, so the data still
// counts as unsaved.
[[nodiscard]] bool saveCurrentData(const QString& path, QString* reason = nullptr);

} // namespace talvek
