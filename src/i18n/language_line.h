#pragma once
// The two line forms of "language.ini", matched by hand with the results of the
// ECMAScript expressions   ^\s*\[(.*)\]\s*$   (section header)   and
//                          ^\s*([^;].*)\s*=\s*"(.+)"\s*$   (entry)
// applied to the whole line including its line end, greedily, with backtracking order.
// (A regular-expression engine would recurse per character on 2047-byte lines.)
#include <string>

// Section name between the first "[" and the last "]" when the line is a header.
bool match_header_line(const std::string& line, std::string& name);
// Key and raw value when the line is an entry.
bool match_entry_line(const std::string& line, std::string& key, std::string& value);
// Replaces every "\t" by a tab, then every "\n" by a line feed.
std::string expand_escapes(std::string value);
