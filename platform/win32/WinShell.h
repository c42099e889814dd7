#pragma once

// Running a program elevated and copying a file through the Windows shell.
// Standard library only; the program calls them through
// platform/SymmetricDS.Commun_win32.cpp.

#include <functional>
#include <string>

// Runs the program with the verb "RUNAS" (the elevation prompt) and waits for
// its end, calling aPump (default: dispatch the thread's pending window
// messages) once, then after every wait of 200 ms. True when the program was
// started; its exit code goes to aExitCode, which is left alone when the
// shell gives no process to wait on or the wait itself fails (it then
// returns at once). On a refusal (the prompt declined, no such file) false,
// with the system's text in aError.
bool WinRunAsAndWait(const std::wstring &aFile, const std::wstring &aParameters, const std::wstring &aDirectory,
                     bool aHidden, std::wstring *aError = nullptr, const std::function<void()> &aPump = {},
                     unsigned long *aExitCode = nullptr);

// One shell copy (FO_COPY, flags 0x0A10): an existing target is replaced and
// missing folders are created without a question; the shell's own progress
// and error windows are shown. False for a missing source, a source with
// wildcards (it would copy several files) or a shell failure.
bool WinShellCopyFile(const std::wstring &aSource, const std::wstring &aTarget);
