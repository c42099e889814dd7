#pragma once

// A folder opened from its drive down, one component at a time, with the
// Windows calls: a reparse point (a link or a junction) is refused, so is a
// component owned by another account than this one, the administrators,
// the system or the installer; each component stays open without delete
// sharing, so nobody renames or removes it while it is held. Standard
// library only; platform/SafeFolder_win32.cpp gives it to the rest.

#include <string>
#include <vector>

struct TWinFolderEntry
{
    enum TKind { Absent, File, Folder, Link, Other, Unknown } Kind = Absent;
    bool Foreign = false;     // owner neither this account nor the administrators, the system, the installer
    bool OthersWrite = false; // another account is allowed to write it, rename it or change its rights
    std::wstring Owner;       // DOMAIN\name, or the SID as text
    std::wstring Error;       // Unknown: the system's text
};

// Opens every component of aFolder into aHandles (the drive first); with
// aPrivate, a component that another account may change is refused too (a
// parent where others may only create is accepted, the folder itself not).
// Empty when opened, otherwise why not in French; aMissing when a
// component does not exist. The handles are for WinCloseFolder.
std::wstring WinOpenFolder(const std::wstring &aFolder, bool aPrivate, std::vector<void *> &aHandles,
                           bool &aMissing);
void WinCloseFolder(std::vector<void *> &aHandles);

// One entry, never followed when it is a reparse point.
TWinFolderEntry WinEntry(const std::wstring &aPath);
