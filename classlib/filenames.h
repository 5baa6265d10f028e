// File-name routines, simple conversions and the running program's own path.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

inline constexpr char PathDelim = '/';

// The folder part with its trailing delimiter ("/a/b.png" -> "/a/"); "" without a folder.
std::string ExtractFilePath(std::string_view fileName);
// The folder part without its trailing delimiter, except for the root ("/a" -> "/").
std::string ExtractFileDir(std::string_view fileName);
// The part after the last delimiter.
std::string ExtractFileName(std::string_view fileName);
// From the last point of the name part to the end, point included; "" when the name part has no point.
std::string ExtractFileExt(std::string_view fileName);
// Replaces the extension (or appends ext when there is none); ext carries its own point.
std::string ChangeFileExt(std::string_view fileName, std::string_view ext);
std::string IncludeTrailingPathDelimiter(std::string_view path);
std::string ExcludeTrailingPathDelimiter(std::string_view path);

// True for an existing file that is not a folder (symbolic links followed).
bool FileExists(const std::string& fileName);
bool DirectoryExists(const std::string& path);

// ASCII letters only: bytes of multi-byte characters are never touched.
std::string LowerCase(std::string_view s);
std::string UpperCase(std::string_view s);

std::string IntToStr(std::int64_t value);
// Decimal, or hexadecimal after "$" or "0x", with an optional sign; anything else, or a
// value outside the 32-bit range, gives def. Hexadecimal up to 32 bits wraps into the
// signed range ("$FFFFFFFF" is -1).
int StrToIntDef(std::string_view s, int def);

// The running program's file (from /proc/self/exe) and its folder with a trailing delimiter.
std::string ExeName();
std::string ExeFolder();
// Makes ExeName() answer fileName instead, so tests can place the program's files; an
// empty name returns to the real path.
void SetExeNameForTesting(const std::string& fileName);
