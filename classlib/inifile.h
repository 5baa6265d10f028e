// Settings files of sections and "key=value" lines, with the profile semantics programs
// written for the original platform expect.
#pragma once

#include <memory>
#include <string>

#include "classlib/object.h"
#include "classlib/strings.h"

// Every call sees the file as it is on disk and every change rewrites it at once
// (constructing touches no file).
//
// Reading: section and key names are matched without regard to case and with surrounding
// blanks ignored; values are trimmed and lose one pair of enclosing quotes (" or '); the
// first of several equal sections or keys is the one read. A missing or unreadable file
// reads as empty. Lines that are not valid UTF-8 are read as Shift-JIS (code page 932).
//
// Writing: the file is rewritten in UTF-8 with every line it had (comments, blank lines,
// unknown keys) and its line endings; a rewritten key keeps its place and the spelling of
// its first writing, a new key follows the last key of its section, a new section goes to
// the end of the file. A failure raises EIniFileException "<file> に書き込めません" and
// leaves the old file as it was; a file that exists but cannot be read is never replaced.
class TIniFile : public TObject {
public:
  CLASSLIB_CLASS(TIniFile)
  explicit TIniFile(const std::string& fileName) : fileName_(fileName) {}

  const std::string& FileName() const { return fileName_; }

  std::string ReadString(const std::string& section, const std::string& ident, const std::string& def) const;
  void WriteString(const std::string& section, const std::string& ident, const std::string& value);
  // Decimal, "$" or "0x" hexadecimal, with a sign; anything else (a missing key too) gives def.
  int ReadInteger(const std::string& section, const std::string& ident, int def) const;
  // Writes decimal text.
  void WriteInteger(const std::string& section, const std::string& ident, int value);

  // Clear strings, then fill it with the section names in file order (each name once) ...
  void ReadSections(TStringList* strings) const;
  // ... or with the key names of one section in file order.
  void ReadSection(const std::string& section, TStringList* strings) const;

  // Removes the section (every section of that name) with all its lines.
  void EraseSection(const std::string& section);
  void DeleteKey(const std::string& section, const std::string& ident);

  // The file has a header for the section (with or without keys).
  bool SectionExists(const std::string& section) const;
  // The section has the key (an empty value counts).
  bool ValueExists(const std::string& section, const std::string& ident) const;

private:
  std::string fileName_;
  // The last parse of the file, reused only while the file is unchanged on disk.
  mutable std::shared_ptr<const void> cache_;
};
