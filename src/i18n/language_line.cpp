#include "i18n/language_line.h"

#include <vector>

namespace {

// The blanks of the expressions' \s.
bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
// What the expressions' "." refuses.
bool is_line_end(char c) { return c == '\n' || c == '\r'; }

bool all_blank(const std::string& s, size_t from) {
  for (size_t i = from; i < s.size(); ++i)
    if (!is_blank(s[i])) return false;
  return true;
}

void replace_all(std::string& s, const std::string& what, char with) {
  for (size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + 1))
    s.replace(at, what.size(), 1, with);
}

}  // namespace

bool match_header_line(const std::string& line, std::string& name) {
  size_t open = 0;
  while (open < line.size() && is_blank(line[open])) ++open;
  if (open == line.size() || line[open] != '[') return false;
  size_t close = line.rfind(']');
  if (close == std::string::npos || close <= open || !all_blank(line, close + 1)) return false;
  for (size_t i = open + 1; i < close; ++i)
    if (is_line_end(line[i])) return false;
  name = line.substr(open + 1, close - open - 1);
  return true;
}

bool match_entry_line(const std::string& line, std::string& key, std::string& value) {
  const size_t n = line.size();
  // The closing quote is the last quote of the line, followed by blanks only.
  size_t close = line.rfind('"');
  if (close == std::string::npos || !all_blank(line, close + 1)) return false;

  // tail_ok[e]: from e on, the line reads  blanks "=" blanks '"' value '"' blanks  where
  // the value is not empty and holds no line end. The value always ends at `close`.
  size_t last_line_end = std::string::npos;  // last line end before `close`
  for (size_t i = 0; i < close; ++i)
    if (is_line_end(line[i])) last_line_end = i;
  std::vector<char> tail_ok(n + 1, 0);
  std::vector<size_t> value_start(n + 1, 0);
  for (size_t e = 0; e < close; ++e) {
    size_t i = e;
    while (i < close && is_blank(line[i])) ++i;
    if (i >= close || line[i] != '=') continue;
    ++i;
    while (i < close && is_blank(line[i])) ++i;
    if (i >= close || line[i] != '"') continue;
    size_t start = i + 1;
    if (start >= close) continue;  // empty value
    if (last_line_end != std::string::npos && last_line_end >= start) continue;
    tail_ok[e] = 1;
    value_start[e] = start;
  }

  size_t leading = 0;
  while (leading < n && is_blank(line[leading])) ++leading;
  // The leading blanks give back characters one at a time when nothing else matches;
  // the key then starts with a blank.
  for (size_t s = leading + 1; s-- > 0;) {
    if (s >= n || line[s] == ';') continue;
    size_t key_end_max = s + 1;  // "." runs up to the first line end
    while (key_end_max < n && !is_line_end(line[key_end_max])) ++key_end_max;
    for (size_t e = key_end_max; e > s; --e) {
      if (!tail_ok[e]) continue;
      key = line.substr(s, e - s);
      value = line.substr(value_start[e], close - value_start[e]);
      return true;
    }
  }
  return false;
}

std::string expand_escapes(std::string value) {
  replace_all(value, "\\t", '\t');
  replace_all(value, "\\n", '\n');
  return value;
}
