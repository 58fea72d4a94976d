// Processes: programs behind device paths run as host child processes. Process handles are
// waitable (signalled when the process has ended) and carry the exit code.
#pragma once

#include <functional>
#include <string>

#include "plat_types.h"

#define PROCESS_TERMINATE 0x0001u
#define PROCESS_QUERY_INFORMATION 0x0400u
#define PROCESS_ALL_ACCESS 0x1F0FFFu

#define CREATE_NEW_CONSOLE 0x00000010u
#define NORMAL_PRIORITY_CLASS 0x00000020u

struct PROCESS_INFORMATION {
  HANDLE hProcess;
  HANDLE hThread;
  DWORD dwProcessId;
  DWORD dwThreadId;
};
typedef PROCESS_INFORMATION* LPPROCESS_INFORMATION;

// Accepted and ignored (the device has no start-up information either).
struct STARTUPINFOW {
  DWORD cb;
  LPWSTR lpReserved;
  LPWSTR lpDesktop;
  LPWSTR lpTitle;
  DWORD dwX, dwY, dwXSize, dwYSize, dwXCountChars, dwYCountChars, dwFillAttribute, dwFlags;
  WORD wShowWindow;
  WORD cbReserved2;
  LPBYTE lpReserved2;
  HANDLE hStdInput, hStdOutput, hStdError;
};
typedef STARTUPINFOW* LPSTARTUPINFOW;

// Runs the host file behind the device path `application` (an executable, or a script with a
// "#!" line; the name may end in ".exe"). `commandLine` is split at blanks (double quotes group)
// into the program's arguments. Handles in `info` must be closed by the caller.
BOOL CreateProcessW(LPCWSTR application, LPWSTR commandLine, LPSECURITY_ATTRIBUTES processAttributes,
                    LPSECURITY_ATTRIBUTES threadAttributes, BOOL inheritHandles, DWORD flags,
                    LPVOID environment, LPCWSTR currentDirectory, LPSTARTUPINFOW startupInfo,
                    LPPROCESS_INFORMATION info);
// A handle to a process that this program started (or any live host process: waitable, no
// exit code). Null with ERROR_INVALID_PARAMETER when there is no such process.
HANDLE OpenProcess(DWORD access, BOOL inherit, DWORD processId);
// Kills the process (SIGKILL); its exit code becomes `exitCode`.
BOOL TerminateProcess(HANDLE process, UINT exitCode);
// STILL_ACTIVE while it runs; the exit status once ended (killed by a signal not sent through
// TerminateProcess: 128 + the signal number).
BOOL GetExitCodeProcess(HANDLE process, LPDWORD exitCode);
DWORD GetCurrentProcessId();
HANDLE GetCurrentProcess();
DWORD GetProcessId(HANDLE process);

// Shell execution: the verb "open" (or none) runs a program, and hands any other file to the
// desktop's opener (xdg-open) when the host has one.
#define SEE_MASK_NOCLOSEPROCESS 0x00000040u
#define SEE_MASK_FLAG_NO_UI 0x00000400u

struct SHELLEXECUTEINFOW {
  DWORD cbSize;
  ULONG fMask;
  HWND hwnd;
  LPCWSTR lpVerb;
  LPCWSTR lpFile;
  LPCWSTR lpParameters;
  LPCWSTR lpDirectory;
  int nShow;
  HINSTANCE hInstApp;
  LPVOID lpIDList;
  LPCWSTR lpClass;
  HKEY hkeyClass;
  DWORD dwHotKey;
  HANDLE hIcon;
  HANDLE hProcess;
};
typedef SHELLEXECUTEINFOW* LPSHELLEXECUTEINFOW;
typedef SHELLEXECUTEINFOW SHELLEXECUTEINFO;
typedef LPSHELLEXECUTEINFOW LPSHELLEXECUTEINFO;

BOOL ShellExecuteExW(LPSHELLEXECUTEINFOW info);
#define ShellExecuteEx ShellExecuteExW

namespace plat::process {
// Host program used for files that are not programs ("xdg-open" unless set; empty: none).
void setOpener(const std::string& hostProgram);
// Number of child processes started by this program that have not ended yet.
size_t runningChildren();
// Ends every program this process started that still runs, with its process group (what a
// script started goes with it): asks them to end (SIGTERM), waits up to `graceMs` real
// milliseconds, then kills what is left of each group; 0 kills at once. The console names each.
// Returns how many programs were running.
size_t endStartedPrograms(DWORD graceMs);
// Whether the process `pid` belongs to the program started as `started`: it is that process,
// one of its descendants, or in its process group (a program on the card is often a script that
// starts the real program; every program we start leads a process group of its own). False for
// 0 and for processes that cannot be looked at.
bool belongsTo(DWORD pid, DWORD started);
}  // namespace plat::process
