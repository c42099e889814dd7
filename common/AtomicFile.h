#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

class TOpenFolder;

// The one way the program writes a file. The content is built in memory and
// never read back; it goes to a new file in the target's folder (never
// opening an existing name, never following a link; where the system allows
// it the new file has no name at all until it is complete, so that nothing
// is left behind if the process is stopped), is flushed to disk, and then
// replaces the target in one rename: readers see the old file or the new
// one, never half of it. The folder is reached from the root one component
// at a time without following a link, each component this account's or the
// administrator's, and stays open while the file is written: a folder
// swapped meanwhile does not take the file elsewhere. A target that belongs
// to another account (a link planted in a shared folder included) is
// refused before anything is created; a link or special file of our own is
// replaced, not followed. Failures raise EIvroErreur with a French
// message; the target is then left as it was, and no new file remains.

enum class TFileAccess : quint8 {
    Ordinary,  // the old file's permissions, or read for all when it is new
    OwnerOnly, // a file that holds a password: read and written by its owner only
};

// Why aPath can't be written by us, in French; empty when it can.
QString TargetRefusal(const QString &aPath);

void WriteFileAtomically(const QString &aPath, const QByteArray &aBytes,
                         TFileAccess aAccess = TFileAccess::Ordinary);

// Removes a file of ours through its folder, reached like a write's: never
// through a link, never another account's file. True when it is gone
// (absent already included); otherwise aWhy, in French, says why not.
bool RemoveOwnFile(const QString &aPath, QString *aWhy = nullptr);

// The bytes of aSource, read in blocks, written to aTarget the same way.
void CopyFileAtomically(const QString &aSource, const QString &aTarget,
                        TFileAccess aAccess = TFileAccess::Ordinary);

// The new file while it is written: created on construction, in place once
// Commit() returns, removed when destroyed before that.
class TNewFile
{
public:
    TNewFile(const QString &aTarget, TFileAccess aAccess);
    ~TNewFile();
    TNewFile(const TNewFile &) = delete;
    TNewFile &operator=(const TNewFile &) = delete;

    void Write(const QByteArray &aBytes);
    void Commit();

private:
    [[noreturn]] void Fail(const QString &aReason) const;

    QString FTarget;
    std::unique_ptr<TOpenFolder> FFolder;
    QString FTemporary;
    qintptr FHandle = -1;
    bool FCommitted = false;
};
