// The desktop shell: opening a document with its handler, files dropped on a control, and
// the folder browser, with the platform's calling conventions.
#pragma once

#include <cstdint>
#include <string>

#include "classlib/forms/forms.h"

using HINSTANCE = HANDLE;
using LPARAM = std::intptr_t;

inline constexpr UINT MAX_PATH = 260;
inline constexpr int ERROR_FILE_NOT_FOUND = 2;
inline constexpr int SE_ERR_NOASSOC = 31;

// verb "open" (or none): hands the file (relative names: to directory) to the desktop's
// default handler. The result is above 32 on success, else an error code.
HINSTANCE ShellExecuteA(HWND window, const char* verb, const char* file, const char* parameters,
                        const char* directory, int showCommand);

// Lets the control's window take files dropped from the desktop; each drop calls its form's
// WMDropFiles with a drop handle.
void DragAcceptFiles(HWND window, BOOL accept);
// index 0xFFFFFFFF: the number of files. Otherwise copies file `index` into buffer (at most
// size - 1 bytes and a terminator; a cut never splits a character) and returns the bytes
// copied; with no buffer, the name's length. 0 for a stale handle or a bad index.
UINT DragQueryFileA(HDROP drop, UINT index, char* buffer, UINT size);
void DragFinish(HDROP drop);

struct ITEMIDLIST;
using LPITEMIDLIST = ITEMIDLIST*;
using LPCITEMIDLIST = const ITEMIDLIST*;
using PIDLIST_ABSOLUTE = ITEMIDLIST*;
using BFFCALLBACK = int (*)(HWND window, UINT message, LPARAM lParam, LPARAM data);

inline constexpr UINT BIF_RETURNONLYFSDIRS = 0x0001;

struct BROWSEINFOA {
  HWND hwndOwner = 0;
  LPCITEMIDLIST pidlRoot = nullptr;
  char* pszDisplayName = nullptr;  // receives the chosen folder's name (MAX_PATH bytes)
  const char* lpszTitle = nullptr;
  UINT ulFlags = 0;
  BFFCALLBACK lpfn = nullptr;
  LPARAM lParam = 0;
  int iImage = 0;
};

// Shows the folder browser; the chosen folder as an item list (free it with
// CoTaskMemFree), or none when the user cancels.
PIDLIST_ABSOLUTE SHBrowseForFolderA(BROWSEINFOA* info);
// Copies the folder's path into path (MAX_PATH bytes); FALSE for an unknown list or a path
// that does not fit.
BOOL SHGetPathFromIDListA(LPCITEMIDLIST list, char* path);
// The folder's path whole: a Linux path may run to 4,096 bytes, far past what the call
// above can hand back. Empty for an unknown list.
std::string PathFromIDList(LPCITEMIDLIST list);
void CoTaskMemFree(void* memory);
