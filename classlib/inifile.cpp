#include "classlib/inifile.h"

#include <fcntl.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "classlib/filenames.h"
#include "classlib/streams.h"

namespace {

// A settings file is a handful of lines; anything larger is refused rather than loaded.
constexpr std::int64_t kMaxIniFileSize = 16 * 1024 * 1024;

enum class LineKind { Other, Section, Key };

struct IniLine {
  std::string text;  // UTF-8, or the bytes as read when they could not be decoded
  LineKind kind = LineKind::Other;
  std::string name;   // section or key name, trimmed
  std::string value;  // key value, trimmed, as written (quotes included)
};

enum class FileState { Missing, Read, Unreadable };

struct IniContent {
  FileState state = FileState::Missing;
  std::vector<IniLine> lines;
  bool crlf = false;
  bool bom = false;
};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool IsValidUtf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    int extra = 0;
    std::uint32_t cp = 0;
    if (c >= 0xC2 && c <= 0xDF) {
      extra = 1;
      cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      extra = 2;
      cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      extra = 3;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (i + static_cast<std::size_t>(extra) >= s.size()) return false;
    for (int k = 1; k <= extra; ++k) {
      const auto cc = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
      if ((cc & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (cc & 0x3F);
    }
    // Overlong forms, surrogates and values past the last code point.
    if ((extra == 2 && cp < 0x800) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF)) {
      return false;
    }
    i += static_cast<std::size_t>(extra) + 1;
  }
  return true;
}

// Files brought from the original platform are in its code page; nothing else is guessed.
// One converter serves every line of a file.
class ShiftJisDecoder {
public:
  ShiftJisDecoder() = default;
  ~ShiftJisDecoder() {
    if (opened_ && cd_ != kNone) ::iconv_close(cd_);
  }
  ShiftJisDecoder(const ShiftJisDecoder&) = delete;
  ShiftJisDecoder& operator=(const ShiftJisDecoder&) = delete;

  std::optional<std::string> Convert(std::string_view s) {
    if (!opened_) {
      cd_ = ::iconv_open("UTF-8", "CP932");
      opened_ = true;
    }
    if (cd_ == kNone) return std::nullopt;
    ::iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    std::string out(s.size() * 3 + 4, '\0');
    std::vector<char> in(s.begin(), s.end());
    char* inPtr = in.data();
    std::size_t inLeft = in.size();
    char* outPtr = out.data();
    std::size_t outLeft = out.size();
    const std::size_t r = ::iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft);
    const bool ok = r != static_cast<std::size_t>(-1) && inLeft == 0 &&
                    ::iconv(cd_, nullptr, nullptr, &outPtr, &outLeft) != static_cast<std::size_t>(-1);
    if (!ok) return std::nullopt;
    out.resize(out.size() - outLeft);
    return out;
  }

private:
  static inline const iconv_t kNone = reinterpret_cast<iconv_t>(-1);
  iconv_t cd_ = kNone;
  bool opened_ = false;
};

std::string DecodeLine(std::string_view raw, ShiftJisDecoder& decoder) {
  if (IsValidUtf8(raw)) return std::string(raw);
  if (auto text = decoder.Convert(raw)) return *std::move(text);
  return std::string(raw);
}

void ParseLine(IniLine& line) {
  const std::string_view t = Trim(line.text);
  line.kind = LineKind::Other;
  line.name.clear();
  line.value.clear();
  if (t.empty() || t.front() == ';') return;
  if (t.front() == '[') {
    // The last bracket closes the name, so a title holding "]" reads back whole.
    const std::size_t close = t.rfind(']');
    const std::string_view inner = close == 0 || close == std::string_view::npos ? t.substr(1) : t.substr(1, close - 1);
    line.kind = LineKind::Section;
    line.name = std::string(Trim(inner));
    return;
  }
  const std::size_t eq = t.find('=');
  if (eq == std::string_view::npos) return;
  line.kind = LineKind::Key;
  line.name = std::string(Trim(t.substr(0, eq)));
  line.value = std::string(Trim(t.substr(eq + 1)));
}

IniLine MakeLine(std::string text) {
  IniLine line;
  line.text = std::move(text);
  ParseLine(line);
  return line;
}

// What tells one version of a file from another: any write replaces or touches it.
struct FileVersion {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  std::int64_t modified = 0;  // nanoseconds
  std::int64_t changed = 0;
  friend bool operator==(const FileVersion&, const FileVersion&) = default;
};

FileVersion VersionOf(const struct stat& st) {
  return FileVersion{st.st_dev, st.st_ino, st.st_size,
                     static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
                     static_cast<std::int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec};
}

struct ParsedFile {
  FileVersion version;
  IniContent content;
};

IniContent Parse(std::string_view rest) {
  IniContent content;
  content.state = FileState::Read;
  if (rest.substr(0, 3) == "\xEF\xBB\xBF") {
    content.bom = true;
    rest.remove_prefix(3);
  }
  bool firstEnding = true;
  ShiftJisDecoder decoder;
  while (!rest.empty()) {
    const std::size_t nl = rest.find('\n');
    std::string_view raw = rest.substr(0, nl);
    rest = nl == std::string_view::npos ? std::string_view() : rest.substr(nl + 1);
    const bool cr = !raw.empty() && raw.back() == '\r';
    if (cr) raw.remove_suffix(1);
    if (nl != std::string_view::npos && firstEnding) {
      content.crlf = cr;
      firstEnding = false;
    }
    content.lines.push_back(MakeLine(DecodeLine(raw, decoder)));
  }
  return content;
}

// The file as it is now. A reload of a long list reads the file once per key, so the last
// parse is kept and reused while the file is the same version.
std::shared_ptr<const ParsedFile> Load(const std::string& fileName, std::shared_ptr<const void>& cache) {
  auto result = std::make_shared<ParsedFile>();
  const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    result->content.state = errno == ENOENT ? FileState::Missing : FileState::Unreadable;
    return result;
  }
  struct stat st {};
  std::string data;
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kMaxIniFileSize;
  if (ok) {
    result->version = VersionOf(st);
    auto cached = std::static_pointer_cast<const ParsedFile>(cache);
    if (cached && cached->version == result->version) {
      ::close(fd);
      return cached;
    }
    char buffer[65536];
    for (;;) {
      const ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) ok = false;
      if (n <= 0) break;
      data.append(buffer, static_cast<std::size_t>(n));
      if (static_cast<std::int64_t>(data.size()) > kMaxIniFileSize) {
        ok = false;
        break;
      }
    }
  }
  ::close(fd);
  if (!ok) {
    result->content.state = FileState::Unreadable;
    return result;
  }
  result->content = Parse(data);
  cache = result;
  return result;
}

// Index of the first header of the section, or -1.
int FindSection(const IniContent& content, std::string_view section) {
  const std::string_view name = Trim(section);
  for (std::size_t i = 0; i < content.lines.size(); ++i) {
    const IniLine& line = content.lines[i];
    if (line.kind == LineKind::Section && SameText(line.name, name)) return static_cast<int>(i);
  }
  return -1;
}

// One past the last line belonging to the section whose header is at header.
int SectionEnd(const IniContent& content, int header) {
  std::size_t i = static_cast<std::size_t>(header) + 1;
  while (i < content.lines.size() && content.lines[i].kind != LineKind::Section) ++i;
  return static_cast<int>(i);
}

int FindKey(const IniContent& content, int header, std::string_view ident) {
  const std::string_view name = Trim(ident);
  const int end = SectionEnd(content, header);
  for (int i = header + 1; i < end; ++i) {
    const IniLine& line = content.lines[static_cast<std::size_t>(i)];
    if (line.kind == LineKind::Key && SameText(line.name, name)) return i;
  }
  return -1;
}

std::string Unquote(const std::string& value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

[[noreturn]] void RaiseWriteError(const std::string& fileName) {
  throw EIniFileException(Format(SIniFileWriteError, {fileName}));
}

void Save(const std::string& fileName, const IniContent& content) {
  const char* eol = content.crlf ? "\r\n" : "\n";
  std::string data;
  if (content.bom) data += "\xEF\xBB\xBF";
  for (const IniLine& line : content.lines) {
    data += line.text;
    data += eol;
  }
  try {
    WriteFileAtomically(fileName, [&data](TStream* out) {
      out->WriteBuffer(data.data(), static_cast<std::int64_t>(data.size()));
    });
  } catch (const EStreamError&) {
    RaiseWriteError(fileName);
  }
}

// Loads the file for a change; a file that exists but cannot be read is not overwritten.
IniContent LoadForChange(const std::string& fileName, std::shared_ptr<const void>& cache) {
  IniContent content = Load(fileName, cache)->content;
  if (content.state == FileState::Unreadable) RaiseWriteError(fileName);
  return content;
}

}  // namespace

std::string TIniFile::ReadString(const std::string& section, const std::string& ident, const std::string& def) const {
  const auto file = Load(fileName_, cache_);
  const IniContent& content = file->content;
  const int header = FindSection(content, section);
  if (header < 0) return def;
  const int key = FindKey(content, header, ident);
  if (key < 0) return def;
  return Unquote(content.lines[static_cast<std::size_t>(key)].value);
}

void TIniFile::WriteString(const std::string& section, const std::string& ident, const std::string& value) {
  IniContent content = LoadForChange(fileName_, cache_);
  const std::string sectionName(Trim(section));
  const std::string keyName(Trim(ident));
  const int header = FindSection(content, sectionName);
  if (header < 0) {
    if (!content.lines.empty() && !Trim(content.lines.back().text).empty()) content.lines.push_back(MakeLine(""));
    content.lines.push_back(MakeLine("[" + sectionName + "]"));
    content.lines.push_back(MakeLine(keyName + "=" + value));
  } else if (const int key = FindKey(content, header, keyName); key >= 0) {
    IniLine& line = content.lines[static_cast<std::size_t>(key)];
    line = MakeLine(line.name + "=" + value);
  } else {
    // After the section's last key, so comments and blank lines before the next section stay there.
    int place = header + 1;
    const int end = SectionEnd(content, header);
    for (int i = header + 1; i < end; ++i) {
      if (content.lines[static_cast<std::size_t>(i)].kind == LineKind::Key) place = i + 1;
    }
    content.lines.insert(content.lines.begin() + place, MakeLine(keyName + "=" + value));
  }
  Save(fileName_, content);
}

int TIniFile::ReadInteger(const std::string& section, const std::string& ident, int def) const {
  return StrToIntDef(ReadString(section, ident, ""), def);
}

void TIniFile::WriteInteger(const std::string& section, const std::string& ident, int value) {
  WriteString(section, ident, IntToStr(value));
}

void TIniFile::ReadSections(TStringList* strings) const {
  const auto file = Load(fileName_, cache_);
  const IniContent& content = file->content;
  TStringList names;
  for (const IniLine& line : content.lines) {
    if (line.kind == LineKind::Section && names.IndexOf(line.name) < 0) names.Add(line.name);
  }
  strings->Assign(&names);
}

void TIniFile::ReadSection(const std::string& section, TStringList* strings) const {
  const auto file = Load(fileName_, cache_);
  const IniContent& content = file->content;
  TStringList keys;
  const int header = FindSection(content, section);
  if (header >= 0) {
    const int end = SectionEnd(content, header);
    for (int i = header + 1; i < end; ++i) {
      const IniLine& line = content.lines[static_cast<std::size_t>(i)];
      if (line.kind == LineKind::Key && keys.IndexOf(line.name) < 0) keys.Add(line.name);
    }
  }
  strings->Assign(&keys);
}

void TIniFile::EraseSection(const std::string& section) {
  IniContent content = LoadForChange(fileName_, cache_);
  bool changed = false;
  for (int header = FindSection(content, section); header >= 0; header = FindSection(content, section)) {
    const int end = SectionEnd(content, header);
    content.lines.erase(content.lines.begin() + header, content.lines.begin() + end);
    changed = true;
  }
  if (changed) Save(fileName_, content);
}

void TIniFile::DeleteKey(const std::string& section, const std::string& ident) {
  IniContent content = LoadForChange(fileName_, cache_);
  const int header = FindSection(content, section);
  if (header < 0) return;
  bool changed = false;
  for (int key = FindKey(content, header, ident); key >= 0; key = FindKey(content, header, ident)) {
    content.lines.erase(content.lines.begin() + key);
    changed = true;
  }
  if (changed) Save(fileName_, content);
}

bool TIniFile::SectionExists(const std::string& section) const {
  return FindSection(Load(fileName_, cache_)->content, section) >= 0;
}

bool TIniFile::ValueExists(const std::string& section, const std::string& ident) const {
  const auto file = Load(fileName_, cache_);
  const IniContent& content = file->content;
  const int header = FindSection(content, section);
  return header >= 0 && FindKey(content, header, ident) >= 0;
}
