// How the viewer writes times and names for people: playback times, the recording clock, and the
// date-time names of new files.
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

class QDateTime;

// minutes:seconds:microseconds, zero-filled to at least 2, 2 and 6 digits (minutes may exceed 99).
QString formatTime(uint64_t us);
// Whole seconds as HH:MM:SS (hours may exceed 99).
QString formatElapsed(uint64_t seconds);
// "yyyyMMdd_HHmmss" + suffix, e.g. "20250305_140709.raw".
QString timestampedFileName(const QDateTime& when, const QString& suffix);
// A path in `folder` for `baseName` + `suffix` that names no existing file: "_1", "_2", ... are
// added to the base name when needed. Any of `alsoFree` (other suffixes, such as the ".mp4" a fusion
// recording writes beside its ".raw") must be free under the same base name too.
QString uniqueFilePath(const QString& folder, const QString& baseName, const QString& suffix,
                       const QStringList& alsoFree = {});
