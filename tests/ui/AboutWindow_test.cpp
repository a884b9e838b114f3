// The About and notices windows under the offscreen platform: what they show, where, and how
// they go away.
#include "ui/AboutWindow.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTextDocument>

#include "core/UiTexts.h"
#include "tests/support/QtTestSupport.h"
#include "ui/NoticesWindow.h"

namespace {

// The application object comes before any window member.
struct TWithQt {
  TWithQt() { ensureQtApplication(); }
};

class AboutWindowTest : public ::testing::Test, private TWithQt {
 protected:
  void SetUp() override { setLanguage("EN"); }
  void TearDown() override { setLanguage("FR"); }
  template <typename T>
  T* find(QWidget& window, const char* name) {
    T* widget = window.findChild<T*>(name);
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
  QString contactText() { return find<QPlainTextEdit>(about, "contactText")->toPlainText(); }

  TCapturedLog captured;
  TAboutWindow about;
};

struct TPlaceCase {
  int width, height;
  int left, top;
  const char* fault;
};

class AboutPlace : public ::testing::TestWithParam<TPlaceCase> {};

}  // namespace

// Placed from the width and 320 for both axes, halves rounded to even.
TEST_P(AboutPlace, OnTheScreen) {
  const TPlaceCase& c = GetParam();
  EXPECT_EQ(TAboutWindow::placeOnScreen(QSize(c.width, c.height)), QPoint(c.left, c.top))
      << c.fault;
}

INSTANTIATE_TEST_SUITE_P(
    Screens, AboutPlace,
    ::testing::Values(TPlaceCase{1920, 1080, 800, 380, "a full HD screen"},
                      TPlaceCase{1921, 1081, 800, 380, "800.5 and 380.5 go down to even"},
                      TPlaceCase{1923, 1083, 802, 382, "801.5 and 381.5 go up to even"},
                      TPlaceCase{1024, 768, 352, 224, "the height also uses 320, not 360"}));

TEST_F(AboutWindowTest, ShowsItsFixedLookAndTheTextOnceHoweverOftenShown) {
  about.open();
  EXPECT_EQ(about.size(), QSize(314, 331));
  EXPECT_EQ(about.minimumSize(), about.maximumSize()) << "not resizable";
  EXPECT_EQ(about.windowTitle(), "About");
  EXPECT_EQ(find<QLabel>(about, "versionLabel")->text(), "version 1.1.0.7");
  EXPECT_EQ(find<QLabel>(about, "titleLabel")->text(), "Ostrel Stream");
  auto* title = find<QLabel>(about, "titleLabel");
  EXPECT_LE(title->geometry().left() + QFontMetrics(title->font()).horizontalAdvance(title->text()),
            314)
      << "the title is not cut by the window's edge";
  EXPECT_FALSE(find<QLabel>(about, "artwork")->pixmap().isNull());
  auto* link = find<QLabel>(about, "noticesLink");
  QTextDocument shown;
  shown.setHtml(link->text());
  for (const QString& line : shown.toPlainText().split(QChar(0x0A)))
    EXPECT_LE(QFontMetrics(link->font()).horizontalAdvance(line), link->width())
        << "the link's line is cut: " << line.toStdString();

  const QString text = contactText();
  EXPECT_EQ(
      text,
      "Ostrel Stream allows you to automatically watch video streaming from Halvex doorphones "
      "during communication. Contact us :\n"
      "Help: menu ? > Help of the main window\n"
      "Library licences: link below\n");
  const QScreen* screen = QGuiApplication::primaryScreen();
  EXPECT_EQ(about.pos(),
            screen->geometry().topLeft() + TAboutWindow::placeOnScreen(screen->size()));

  about.hide();
  about.move(3, 4);
  about.open();
  EXPECT_EQ(contactText(), text) << "shown again, the text is not doubled";
  EXPECT_EQ(about.pos(), screen->geometry().topLeft() + TAboutWindow::placeOnScreen(screen->size()))
      << "placed again at every showing";
  about.open();
  EXPECT_EQ(contactText(), text) << "opened while shown, nothing is added";
}

TEST_F(AboutWindowTest, TheTextFollowsTheLanguageAtTheNextShowing) {
  about.open();
  about.hide();
  setLanguage("FR");
  about.open();
  EXPECT_TRUE(contactText().startsWith(QString::fromUtf8("Ostrel Stream permet de visualiser")));
  EXPECT_TRUE(contactText().contains(QString::fromUtf8("Aide : menu ? > Aide")));
}

// Escape hides the window wherever the focus is inside it; so does OK.
TEST_F(AboutWindowTest, EscapeAndOkHideIt) {
  for (const char* focused : {"okButton", "contactText", "noticesLink"}) {
    about.open();
    QWidget* target = find<QWidget>(about, focused);
    target->setFocus();
    QTest::keyClick(target, Qt::Key_Escape);
    EXPECT_FALSE(about.isVisible()) << focused;
  }
  about.open();
  QTest::mouseClick(find<QWidget>(about, "okButton"), Qt::LeftButton);
  EXPECT_FALSE(about.isVisible());
}

// The link names the real licences, not the Apache 1.0 of another OpenSSL, and a click on it
// asks for the notices.
TEST_F(AboutWindowTest, TheNoticesLinkNamesTheRealLicencesAndAsksForTheNotices) {
  about.open();
  auto* link = find<QLabel>(about, "noticesLink");
  for (const char* licence :
       {"LGPL 3", "curl licence", "OpenSSL 3: Apache License 2.0", "IJG", "BSD-3-Clause", "zlib"})
    EXPECT_TRUE(link->text().contains(licence)) << licence;
  EXPECT_FALSE(link->text().contains("Apache 1.0"));
  EXPECT_FALSE(link->text().contains("License 1.0"));
  EXPECT_FALSE(link->text().contains("SSLeay"));
  QSignalSpy asked(&about, &TAboutWindow::noticesRequested);
  QTest::mouseClick(link, Qt::LeftButton, Qt::NoModifier, QPoint(20, 6));
  EXPECT_EQ(asked.count(), 1);
}

TEST(NoticesWindow, ResizableReadOnlyAndTheTextShownOnce) {
  ensureQtApplication();
  TNoticesWindow notices;
  notices.open();
  EXPECT_EQ(notices.windowTitle(), "License");
  EXPECT_EQ(notices.minimumSize(), QSize(320, 240));
  EXPECT_GT(notices.maximumSize().width(), 320) << "resizable";
  auto* text = notices.findChild<QPlainTextEdit*>("noticesText");
  ASSERT_NE(text, nullptr);
  EXPECT_TRUE(text->isReadOnly());
  const QString first = text->toPlainText();
  notices.hide();
  notices.open();
  notices.open();
  EXPECT_EQ(text->toPlainText(), first);
  EXPECT_EQ(first.count("OpenSSL 3: Apache License 2.0"), 1);
}

// Every shipped library's licence is there in full, as its package gives it.
TEST(NoticesWindow, NamesEveryShippedLibraryWithItsFullLicenceText) {
  ensureQtApplication();
  const QString text = TNoticesWindow::noticesText();
  struct TNeeded {
    const char* library;
    const char* words;  // words only the full text or the package's notice holds
  };
  for (const TNeeded& needed : {
           TNeeded{"Qt: the LGPL 3 in full", "GNU LESSER GENERAL PUBLIC LICENSE"},
           TNeeded{"Qt: the GPL 3 the LGPL builds on", "GNU GENERAL PUBLIC LICENSE"},
           TNeeded{"Qt: its own notice", "The Qt Company"},
           TNeeded{"libcurl", "Daniel Stenberg"},
           TNeeded{"libcurl: its licence",
                   "Permission to use, copy, modify, and distribute this software for any purpose"},
           TNeeded{"OpenSSL: its notice", "The OpenSSL Project Authors"},
           TNeeded{"OpenSSL: the Apache License 2.0 in full",
                   "TERMS AND CONDITIONS FOR USE, REPRODUCTION, AND DISTRIBUTION"},
           TNeeded{"libjpeg-turbo: IJG", "Independent JPEG Group"},
           TNeeded{"libjpeg-turbo: zlib", "Zlib"},
       })
    EXPECT_TRUE(text.contains(needed.words)) << needed.library;
  EXPECT_FALSE(text.contains("googletest", Qt::CaseInsensitive)) << "tests are not shipped";
}
