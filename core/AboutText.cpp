#include "core/AboutText.h"

#include "core/UiTexts.h"
#include "core/Version.h"

std::string legalNoticeLine() {
  return "Ostrel Stream " + FileVersionText() + ", \xA9 2026 the Ostrel Stream developers";
}

std::string aboutText() {
  const char* const lineBreak = "\r\n";
  std::string text = UiTexts.txtAbout + lineBreak;
  for (const std::string* line : {&UiTexts.aboutHelpLine, &UiTexts.aboutLicenceLine})
    text += *line + lineBreak;
  return text;
}
