#include "platform/ini_profile.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <vector>

#include "platform/file_write.h"

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::string_view kBlanks = " \t";

enum class FileRead { kRead, kMissing, kUnreadable };

// Reads the whole file into `text`. A path with nothing at it (or under a non-folder) is missing;
// any other failure, a folder's EISDIR included, makes it unreadable.
FileRead ReadWhole(const std::filesystem::path& file, std::string* text) {
  const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return errno == ENOENT || errno == ENOTDIR ? FileRead::kMissing : FileRead::kUnreadable;
  }
  char buffer[8192];
  ssize_t count = 0;
  while ((count = read(fd, buffer, sizeof buffer)) != 0) {
    if (count > 0) {
      text->append(buffer, static_cast<size_t>(count));
    } else if (errno != EINTR) {
      break;
    }
  }
  close(fd);
  return count == 0 ? FileRead::kRead : FileRead::kUnreadable;
}

std::string_view Trim(std::string_view text) {
  const size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) {
    return text.substr(text.size());
  }
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) { return Lower(x) == Lower(y); });
}

// One line of the file, as offsets into its text. Views point into that text.
struct Line {
  enum Kind { kBlank, kOther, kSection, kKey };
  Kind kind = kBlank;
  size_t end = 0;          // end of the content, before "\n" or "\r\n"
  size_t next = 0;         // start of the next line
  size_t valueBegin = 0;   // where a key's value starts: after '=' and the blanks that follow it
  std::string_view name;   // section or key name, trimmed
  std::string_view value;  // a key's value, trimmed, quotes kept
};

std::vector<Line> SplitLines(std::string_view text) {
  std::vector<Line> lines;
  size_t pos = text.starts_with(kBom) ? kBom.size() : 0;
  while (pos < text.size()) {
    Line line;
    const size_t lf = text.find('\n', pos);
    line.next = lf == std::string_view::npos ? text.size() : lf + 1;
    line.end = lf == std::string_view::npos ? text.size() : lf;
    if (lf != std::string_view::npos && lf > pos && text[lf - 1] == '\r') {
      --line.end;
    }
    const std::string_view content = Trim(text.substr(pos, line.end - pos));
    const size_t close = content.rfind(']');
    const size_t equals = content.find('=');
    if (content.empty()) {
      line.kind = Line::kBlank;
    } else if (content.front() == ';') {
      line.kind = Line::kOther;
    } else if (content.front() == '[' && close != std::string_view::npos) {
      line.kind = Line::kSection;
      line.name = Trim(content.substr(1, close - 1));
    } else if (equals != std::string_view::npos) {
      line.kind = Line::kKey;
      line.name = Trim(content.substr(0, equals));
      line.value = Trim(content.substr(equals + 1));
      line.valueBegin = static_cast<size_t>(line.value.data() - text.data());
    } else {
      line.kind = Line::kOther;
    }
    lines.push_back(line);
    pos = line.next;
  }
  return lines;
}

// Where a key is, or where it would go.
struct Place {
  std::optional<size_t> key;         // the line holding the key
  std::optional<size_t> sectionEnd;  // the last non-blank line of the first matching section
};

Place Locate(const std::vector<Line>& lines, std::string_view section, std::string_view key) {
  Place place;
  bool inSection = false;
  int sectionsSeen = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    const Line& line = lines[i];
    if (line.kind == Line::kSection) {
      inSection = EqualsIgnoreCase(line.name, section);
      sectionsSeen += inSection ? 1 : 0;
    }
    if (!inSection) {
      continue;
    }
    if (line.kind == Line::kKey && EqualsIgnoreCase(line.name, key)) {
      place.key = i;
      return place;
    }
    if (sectionsSeen == 1 && line.kind != Line::kBlank) {
      place.sectionEnd = i;
    }
  }
  return place;
}

std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

// The value as written, so that reading it back gives `value` again.
std::string Stored(std::string_view value) {
  if (!value.empty() && (kBlanks.find(value.front()) != std::string_view::npos ||
                         kBlanks.find(value.back()) != std::string_view::npos ||
                         Unquote(value).size() != value.size())) {
    return "\"" + std::string(value) + "\"";
  }
  return std::string(value);
}

bool OnOneLine(std::string_view text) {
  return text.find_first_of("\r\n") == std::string_view::npos;
}

}  // namespace

IniLookup ReadIniString(const std::filesystem::path& file, std::string_view section,
                        std::string_view key) {
  IniLookup result;
  std::string text;
  switch (ReadWhole(file, &text)) {
    case FileRead::kMissing:
      result.status = IniStatus::kMissing;
      return result;
    case FileRead::kUnreadable:
      result.status = IniStatus::kUnreadable;
      return result;
    case FileRead::kRead:
      break;
  }
  const std::vector<Line> lines = SplitLines(text);
  const Place place = Locate(lines, section, key);
  result.status = place.key ? IniStatus::kFound : IniStatus::kNotFound;
  if (place.key) {
    result.value = Unquote(lines[*place.key].value);
  }
  return result;
}

bool WriteIniString(const std::filesystem::path& file, std::string_view section,
                    std::string_view key, std::string_view value) {
  if (!OnOneLine(section) || !OnOneLine(key) || !OnOneLine(value) || key.empty() ||
      key.find('=') != std::string_view::npos) {
    return false;
  }
  std::string text;
  if (ReadWhole(file, &text) == FileRead::kUnreadable) {
    return false;  // its content is unknown: replacing it could lose the user's settings
  }
  const std::vector<Line> lines = SplitLines(text);
  const Place place = Locate(lines, section, key);
  // New lines end the way the file's first line does.
  const size_t firstLf = text.find('\n');
  const std::string eol =
      firstLf != std::string::npos && firstLf > 0 && text[firstLf - 1] == '\r' ? "\r\n" : "\n";
  const std::string entry = std::string(key) + "=" + Stored(value);
  if (place.key) {
    const Line& line = lines[*place.key];
    text.replace(line.valueBegin, line.end - line.valueBegin, Stored(value));
  } else if (place.sectionEnd) {
    const Line& last = lines[*place.sectionEnd];
    // The last line of the file may have no line end of its own.
    text.insert(last.next, last.next == last.end ? eol + entry : entry + eol);
  } else {
    const size_t bom = text.starts_with(kBom) ? kBom.size() : 0;
    if (text.size() > bom && text.back() != '\n') {
      text += eol;
    }
    text += "[" + std::string(section) + "]" + eol + entry + eol;
  }
  return WriteFileAtomically(file, text);
}
