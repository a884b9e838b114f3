#include "core/AboutText.h"

#include "core/UiTexts.h"

std::string legalNoticeLine() { return "Ostrel Stream \xA9 2026 its authors"; }

std::string aboutText() {
  const char* const lineBreak = "\r\n";
  std::string text = UiTexts.txtAbout + lineBreak;
  for (const std::string* line : {&UiTexts.aboutHelpLine, &UiTexts.aboutLicenceLine})
    text += *line + lineBreak;
  return text;
}
