#include "i18n/language.h"

namespace {

// Length of the conversion at `at` (just after '%') that takes one argument, or 0.
size_t placeholder_length(const std::wstring& format, size_t at) {
  static const wchar_t* const kForms[] = {L"I64d", L"I64u", L"lld", L"llu", L"ls",
                                          L"d",    L"u",    L"i",   L"s"};
  for (const wchar_t* form : kForms) {
    std::wstring text(form);
    if (format.compare(at, text.size(), text) == 0) return text.size();
  }
  return 0;
}

}  // namespace

std::wstring fill_text(const std::wstring& format, const std::vector<std::wstring>& args) {
  std::wstring out;
  size_t next_arg = 0;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != L'%' || i + 1 >= format.size()) {
      out += format[i];
      continue;
    }
    if (format[i + 1] == L'%') {
      out += L'%';
      ++i;
      continue;
    }
    size_t length = placeholder_length(format, i + 1);
    if (length == 0 || next_arg >= args.size()) {
      out += format[i];
      continue;
    }
    out += args[next_arg++];
    i += length;
  }
  return out;
}
