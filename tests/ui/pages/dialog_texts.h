// Button labels and messages of the dialogs in the four languages the tests and the
// gallery show: English, German, Japanese and Arabic.
#pragma once
#include <map>
#include <string>

struct dialog_language {
  const char* code;
  std::map<std::string, std::wstring> texts;
  std::wstring short_message;
  std::wstring long_message;
};

inline const dialog_language* dialog_languages() {
  static const dialog_language languages[4] = {
      {"en",
       {{"btn_ok", L"OK"}, {"btn_no", L"No"}, {"btn_yes", L"Yes"}, {"btn_open", L"Open"},
        {"btn_cancel", L"Cancel"}, {"about_btn_check", L"Check for updates"}, {"about_btn_bk", L"Close"},
        {"about_name", L"Tessaline"}, {"about_copyright", L"Copyright \x00a9 Orvalin. All rights reserved."},
        {"about_information", L"Build information"}, {"about_info", L"Version 1.0%s, built on %s at %s."}},
       L"No files are selected.",
       L"The cache folder has less free space than the card you selected. Recovering may stop when "
       L"the folder is full. Choose a folder on a larger drive, or continue anyway and free some space "
       L"on the drive while the scan runs so that nothing is lost."},
      {"de",
       {{"btn_ok", L"OK"}, {"btn_no", L"Nein"}, {"btn_yes", L"Ja"}, {"btn_open", L"\x00d6" L"ffnen"},
        {"btn_cancel", L"Abbrechen"}, {"about_btn_check", L"Nach Updates suchen"},
        {"about_btn_bk", L"Schlie\x00df" L"en"}, {"about_name", L"Tessaline"},
        {"about_copyright", L"Copyright \x00a9 Orvalin. Alle Rechte vorbehalten."},
        {"about_information", L"Build-Informationen"}, {"about_info", L"Version 1.0%s, erstellt am %s um %s."}},
       L"Keine Dateien ausgew\x00e4hlt.",
       L"Der Cache-Ordner hat weniger freien Speicher als die gew\x00e4hlte Karte. Die Wiederherstellung "
       L"kann anhalten, wenn der Ordner voll ist. W\x00e4hlen Sie einen Ordner auf einem gr\x00f6\x00df"
       L"eren Laufwerk oder fahren Sie trotzdem fort."},
      {"jp",
       {{"btn_ok", L"OK"}, {"btn_no", L"\x3044\x3044\x3048"}, {"btn_yes", L"\x306f\x3044"},
        {"btn_open", L"\x958b\x304f"}, {"btn_cancel", L"\x30ad\x30e3\x30f3\x30bb\x30eb"},
        {"about_btn_check", L"\x66f4\x65b0\x3092\x78ba\x8a8d"}, {"about_btn_bk", L"\x9589\x3058\x308b"},
        {"about_name", L"Tessaline"}, {"about_copyright", L"Copyright \x00a9 Orvalin."},
        {"about_information", L"\x30d3\x30eb\x30c9\x60c5\x5831"},
        {"about_info", L"\x30d0\x30fc\x30b8\x30e7\x30f3 1.0%s \x4f5c\x6210\x65e5 %s %s"}},
       L"\x30d5\x30a1\x30a4\x30eb\x304c\x9078\x629e\x3055\x308c\x3066\x3044\x307e\x305b\x3093\x3002",
       L"\x30ad\x30e3\x30c3\x30b7\x30e5 \x30d5\x30a9\x30eb\x30c0\x30fc\x306e\x7a7a\x304d\x5bb9\x91cf\x304c "
       L"\x9078\x629e\x3057\x305f\x30ab\x30fc\x30c9\x3088\x308a\x5c11\x306a\x3044\x3067\x3059\x3002 "
       L"\x30d5\x30a9\x30eb\x30c0\x30fc\x304c\x3044\x3063\x3071\x3044\x306b\x306a\x308b\x3068 "
       L"\x5fa9\x5143\x304c\x6b62\x307e\x308b\x3053\x3068\x304c\x3042\x308a\x307e\x3059\x3002 "
       L"\x5927\x304d\x306a\x30c9\x30e9\x30a4\x30d6\x306e\x30d5\x30a9\x30eb\x30c0\x30fc\x3092 "
       L"\x9078\x3093\x3067\x304f\x3060\x3055\x3044\x3002"},
      {"ar",
       {{"btn_ok", L"\x0645\x0648\x0627\x0641\x0642"}, {"btn_no", L"\x0644\x0627"}, {"btn_yes", L"\x0646\x0639\x0645"},
        {"btn_open", L"\x0641\x062a\x062d"}, {"btn_cancel", L"\x0625\x0644\x063a\x0627\x0621"},
        {"about_btn_check", L"\x0627\x0644\x0628\x062d\x062b \x0639\x0646 \x062a\x062d\x062f\x064a\x062b\x0627\x062a"},
        {"about_btn_bk", L"\x0625\x063a\x0644\x0627\x0642"}, {"about_name", L"Tessaline"},
        {"about_copyright", L"Copyright \x00a9 Orvalin."},
        {"about_information", L"\x0645\x0639\x0644\x0648\x0645\x0627\x062a \x0627\x0644\x0625\x0635\x062f\x0627\x0631"},
        {"about_info", L"\x0627\x0644\x0625\x0635\x062f\x0627\x0631 1.0%s %s %s"}},
       L"\x0644\x0645 \x064a\x062a\x0645 \x062a\x062d\x062f\x064a\x062f \x0623\x064a \x0645\x0644\x0641.",
       L"\x0627\x0644\x0645\x0633\x0627\x062d\x0629 \x0627\x0644\x062d\x0631\x0629 \x0641\x064a "
       L"\x0645\x062c\x0644\x062f \x0627\x0644\x062a\x062e\x0632\x064a\x0646 \x0623\x0642\x0644 \x0645\x0646 "
       L"\x062d\x062c\x0645 \x0627\x0644\x0628\x0637\x0627\x0642\x0629 \x0627\x0644\x0645\x062e\x062a\x0627\x0631\x0629. "
       L"\x0642\x062f \x064a\x062a\x0648\x0642\x0641 \x0627\x0644\x0627\x0633\x062a\x0631\x062f\x0627\x062f "
       L"\x0639\x0646\x062f\x0645\x0627 \x064a\x0645\x062a\x0644\x0626 \x0627\x0644\x0645\x062c\x0644\x062f. "
       L"\x0627\x062e\x062a\x0631 \x0645\x062c\x0644\x062f\x064b\x0627 \x0639\x0644\x0649 \x0645\x062d\x0631\x0643 "
       L"\x0623\x0643\x0628\x0631."},
  };
  return languages;
}
