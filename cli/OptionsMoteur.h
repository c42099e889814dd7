#pragma once

// The values of the engine and node commands, checked where they enter:
// refused with exit code 2 and the option named, before the question and
// before anything is written or run.

#include "cli/CliCommand.h"
#include "data/moteur/ValeursMoteur.h"

#include <QDir>

inline QString Checked(const QString &aOption, const QString &aValue, const QString &aRefusal)
{
    if (!aRefusal.isEmpty())
        throw ECliUsage(QStringLiteral("Valeur refusée pour --%1 : \"%2\" (%3)")
                            .arg(aOption, ValeurAffichable(aValue), aRefusal));
    return aValue;
}

// A folder as the system writes it, made absolute from the current folder:
// the engine's tools run elsewhere and would read a relative one from there.
inline QString AbsoluteFolder(const QString &aOption, const QString &aValue, bool aMustExist)
{
    Checked(aOption, aValue, RefusControle(aValue));
    const QString absolute = aValue.isEmpty() ? aValue
                                              : QDir::toNativeSeparators(QDir::cleanPath(QDir::current().absoluteFilePath(aValue)));
    return Checked(aOption, absolute, RefusDossier(absolute, aMustExist));
}
