#pragma once

// The system's error numbers (errno) as the operator reads them: in French
// for those met every day with files and folders, the system's own text for
// the others.

#include <QString>

QString TexteErreurSysteme(int aErrno);

class QFileDevice;

// Why a file operation failed, in French: the cause where it can be told
// (absent, a folder), otherwise the kind of failure followed by the
// system's own words between brackets.
QString TexteErreurFichier(const QFileDevice &aFile);
