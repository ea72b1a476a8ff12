#include "ui/skin/fonts.h"

#include <mutex>

namespace {

struct FontRow {
  const wchar_t* face;
  int points;
  bool bold;
};

// Faces as written: the system matches them without regard to case.
constexpr FontRow kRows[] = {
    {L"Arial", 8, false},     {L"Arial", 9, false},    {L"Arial", 11, false},   {L"Arial", 15, false},
    {L"Arial", 18, false},    {L"Arial", 16, false},   {L"Arial", 18, true},    {L"Arial", 25, true},
    {L"Verdana", 8, false},   {L"Verdana", 8, false},  {L"Verdana", 10, false}, {L"Verdana", 8, true},
    {L"Verdana", 9, true},    {L"Verdana", 10, true},  {L"verdana", 12, true},  {L"verdana", 12, false},
    {L"verdana", 14, false},  {L"verdana", 16, true},  {L"verdana", 16, false}, {L"verdana", 18, false},
    {L"verdana", 22, false},  {L"verdana", 25, false},
};
constexpr int kCount = sizeof kRows / sizeof kRows[0];
static_assert(kCount == 22, "the application has 22 fonts");

HFONT g_fonts[kCount] = {};
std::once_flag g_fonts_created;

// Sizes are fixed at 96 dots per inch so that they don't follow the user's text size.
HFONT create_font(const FontRow& row) {
  HDC screen = ::GetDC(nullptr);
  if (screen) {
    ::GetDeviceCaps(screen, LOGPIXELSY);  // queried, deliberately not used
    ::ReleaseDC(nullptr, screen);
  }
  return ::CreateFontW(-::MulDiv(row.points, 96, 72), 0, 0, 0, row.bold ? FW_BOLD : FW_DONTCARE, FALSE,
                       FALSE, FALSE, DEFAULT_CHARSET, OUT_OUTLINE_PRECIS, CLIP_DEFAULT_PRECIS,
                       ANTIALIASED_QUALITY, VARIABLE_PITCH, row.face);
}

}  // namespace

void create_application_fonts() {
  std::call_once(g_fonts_created, [] {
    for (int i = 0; i < kCount; ++i) g_fonts[i] = create_font(kRows[i]);
  });
}

HFONT application_font(const wchar_t* face, int points, bool bold) {
  if (!face) return nullptr;
  create_application_fonts();
  for (int i = 0; i < kCount; ++i) {
    if (kRows[i].points == points && kRows[i].bold == bold && ::lstrcmpiW(kRows[i].face, face) == 0)
      return g_fonts[i];
  }
  return nullptr;
}

int application_font_count() { return kCount; }

HFONT application_font_at(int row) {
  if (row < 0 || row >= kCount) return nullptr;
  create_application_fonts();
  return g_fonts[row];
}
