#pragma once

// A new file written beside its target and renamed over it, with the
// Windows calls: the new name is created only if it does not exist, and a
// target that is a reparse point (a link or a junction another account may
// have planted) is refused. Standard library only; common/AtomicFile_win32.cpp
// gives it to the rest of the program.

#include <cstddef>
#include <string>

// Why aPath can't be written, in French; empty when it can (absent included).
std::wstring WinTargetRefusal(const std::wstring &aPath);

// CREATE_NEW, and the name itself opened even if it is a reparse point.
// Null, with the system's text in aError, when it fails.
void *WinCreateNewFile(const std::wstring &aPath, std::wstring &aError);
bool WinWriteAll(void *aHandle, const char *aData, std::size_t aSize, std::wstring &aError);
// Flushed to disk and closed; the handle is closed whatever the outcome.
bool WinFlushAndClose(void *aHandle, std::wstring &aError);
void WinCloseFile(void *aHandle);
// aFrom renamed over aTo in one step, written through to disk.
bool WinReplaceWith(const std::wstring &aFrom, const std::wstring &aTo, std::wstring &aError);
void WinRemoveFile(const std::wstring &aPath);
// True when the file is gone, absent already included.
bool WinDeleteFile(const std::wstring &aPath, std::wstring &aError);
