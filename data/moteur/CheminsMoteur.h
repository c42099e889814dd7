#pragma once

// Paths of an engine installation written in the conventions of the system
// it is installed on: backslashes on Windows, slashes elsewhere. The texts
// are what the engine's tools and the service commands get; Local() gives
// the same path to this process's own file functions.

#include <QString>

class TCheminsMoteur
{
public:
    explicit TCheminsMoteur(bool aWindows) : FWindows(aWindows) {}

    bool Windows() const { return FWindows; }
    QChar Sep() const { return FWindows ? QLatin1Char('\\') : QLatin1Char('/'); }

    QString WithSep(const QString &aPath) const { return aPath.endsWith(Sep()) ? aPath : aPath + Sep(); }
    QString WithoutSep(const QString &aPath) const { return aPath.endsWith(Sep()) ? aPath.chopped(1) : aPath; }

    // aBase followed by each piece, a separator before each.
    QString Join(const QString &aBase, std::initializer_list<const char *> aPieces) const
    {
        QString path = aBase;
        for (const char *piece : aPieces)
            path += Sep() + QString::fromLatin1(piece);
        return path;
    }

    // The folder part of a path, up to and including its last separator
    // (or a drive's colon on Windows); empty when there is none.
    QString FolderOf(const QString &aPath) const
    {
        for (qsizetype i = aPath.size() - 1; i >= 0; --i)
            if (aPath[i] == Sep() || (FWindows && aPath[i] == QLatin1Char(':')))
                return aPath.left(i + 1);
        return QString();
    }

    // Qt takes slashes on every system, so Windows paths need no other change.
    QString Local(const QString &aPath) const
    {
        QString path = aPath;
        return FWindows ? path.replace(QLatin1Char('\\'), QLatin1Char('/')) : path;
    }

    // The Java runtime's program under aJavaHome: javaw, without a console, on Windows.
    QString Java(const QString &aJavaHome, bool aWindowless) const
    {
        return Join(aJavaHome, {"bin", FWindows && aWindowless ? "javaw" : "java"});
    }

private:
    bool FWindows;
};
