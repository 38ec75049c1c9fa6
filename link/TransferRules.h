#pragma once

#include "ConfigSnapshot.h"
#include "Unitstring.h"

#include <QByteArray>
#include <QList>

// Decisions of the load and save procedures, kept apart from the FTP exchange.

// Key sequences sent to the recorder as listings of "[K]..." arguments.
namespace KeySequence {
inline const QByteArray FaxNumbersLoaded = QByteArray("\x80\x41\x44", 3);     // "[K]804144"
inline const QByteArray NumbersLoaded = QByteArray("\x82\x43\x44", 3);        // "[K]824344"
inline const QByteArray PrepareReload = QByteArray("\x87\x41\x41\x0D\x43\x44", 6); // "[K]8741410D4344"
inline const QByteArray Reload = QByteArray("\x42", 1);                       // "[K]42"
} // namespace KeySequence

// The pause between the two reload key commands, in milliseconds.
inline constexpr int ReloadPauseMs = 2000;

// File names from the lines of a directory listing: the text after the last space of each
// line; a line without a space, or with nothing after it, gives no name.
QList<QByteArray> NamesFromListing(const LineList& lines);

// A listed name that may become a local file name (no path separators, not "." or "..",
// no control characters). Others are never downloaded or written.
bool IsSafeListedName(const QByteArray& name);

// Progress bar after account file i (from 0) of n.
int LoadAccountBar(int i, int n); // 30 + (40 × (i + 1)) div n
int SaveAccountBar(int i, int n); // 30 + (30 × (i + 1)) div n

// The user name of a listed account file: the part after its first '.', the whole name without one.
QByteArray UserOfListedName(const QByteArray& listed);

// The listed account files whose user name matches no account's Name exactly, in listing order.
QList<QByteArray> StaleAccountFiles(const QList<QByteArray>& listed, const QList<tFTPInfo>& accounts);
