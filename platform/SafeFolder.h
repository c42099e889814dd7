#pragma once

// A folder reached from the root one component at a time, no link followed,
// each component checked as it is opened: what another account could swap
// or write is refused before anything is written into the folder or run
// from it. The folder stays open while the object lives, so a component
// renamed or replaced meanwhile changes nothing for us: POSIX writes through
// the folder's descriptor, Windows holds every component open without
// letting it be renamed or deleted.

#include <QString>

#include <vector>

// Which accounts may change a folder besides this one and the administrator.
enum class TFolderTrust : quint8 {
    // Every component a real folder (no link) of this account or of the
    // administrator (root; on Windows also the system and the installer).
    Owned,
    // The same, and none can be written by another account, nor the
    // folder's own entries renamed: a parent where everyone may create but
    // only the owner may rename (the sticky bit, /tmp) is accepted, the
    // folder itself never. For folders whose files are run as root.
    Private,
};

class TOpenFolder
{
public:
    TOpenFolder(const QString &aFolder, TFolderTrust aTrust);
    ~TOpenFolder();
    TOpenFolder(const TOpenFolder &) = delete;
    TOpenFolder &operator=(const TOpenFolder &) = delete;

    bool IsOpen() const { return FRefusal.isEmpty(); }
    // Why not, in French, naming the component and its owner; empty when open.
    const QString &Refusal() const { return FRefusal; }
    // Refused only because a component does not exist.
    bool Missing() const { return FMissing; }
    const QString &Path() const { return FPath; }

    // One entry of the folder, never followed when it is a link.
    struct TEntry
    {
        enum TKind : quint8 { Absent, File, Folder, Link, Other, Unknown } Kind = Absent;
        bool Foreign = false;      // belongs to neither this account nor the administrator
        bool OthersWrite = false;  // another account may write it
        quint32 Mode = 0;          // POSIX permission bits
        QString Owner;             // the owner's name, or its number
        QString Error;             // Unknown: the system's reason
    };
    TEntry Entry(const QString &aName) const;

    // POSIX: the folder's descriptor, for the *at() calls. Windows: -1.
    int Descriptor() const { return FDescriptor; }

private:
    QString FPath;
    QString FRefusal;
    bool FMissing = false;
    int FDescriptor = -1;
    std::vector<void *> FHandles; // Windows: every component, held open
};

// Why aFolder is refused under aTrust, in French; empty when it is accepted.
QString FolderRefusal(const QString &aFolder, TFolderTrust aTrust);

// Why the file may not be run by us, in French; empty when it may: its
// folder Private, the file itself a plain file (no link) of this account or
// of the administrator that no other account may write.
QString ProgramRefusal(const QString &aFile);

// Each system's words for an entry in the texts above: what a link is
// ("compte « root »", "point d'analyse"), and whose it is and how it may be
// written ("propriétaire « root », droits 0777").
QString TexteLien(const TOpenFolder::TEntry &aEntry);
QString TexteProprietaire(const TOpenFolder::TEntry &aEntry);
