#pragma once

// The system's error numbers (errno) as the operator reads them: in French
// for those met every day with files and folders, the system's own text for
// the others.

#include <QString>

QString TexteErreurSysteme(int aErrno);
