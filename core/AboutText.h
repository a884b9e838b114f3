#pragma once

#include <string>

// The texts of the About window, Windows-1252 like every text of the interface.

// The product's legal notice line, first in the notices link and in the notices text.
std::string legalNoticeLine();

// The About window's text in the current language: the introduction, a line break, then each
// contact line followed by a line break. Only lines that are true of this program are given
// (where its help and its library licences are), so there are fewer than the five contact lines
// a maker with a street address, telephone and e-mail would give.
std::string aboutText();
