#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <stdexcept>

#include "tests/support/QtTestSupport.h"
#include "tests/video/MJPEGTestSupport.h"
#include "video/VideoViewWidget.h"

namespace {

using TShared = TVideoView::TBytes;

constexpr QRgb Backdrop = 0xFFFF00FFu;  // magenta: no picture is ever this colour

TShared shared(TBytes bytes) { return std::make_shared<const TBytes>(std::move(bytes)); }

TShared solidJpeg(int width, int height, std::uint32_t rgb) {
  return shared(makeJpeg(width, height, [rgb](int, int) { return rgb; }));
}

// The scan asks for Huffman tables that were never defined: the header reads, the pixels don't.
TBytes withUndefinedHuffmanTables(TBytes jpeg) {
  for (std::size_t i = 0; i + 6 < jpeg.size(); ++i)
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA) {
      jpeg[i + 6] = 0x33;
      return jpeg;
    }
  throw std::runtime_error("no scan");
}

bool near(QRgb pixel, QRgb expected) {
  return std::abs(qRed(pixel) - qRed(expected)) <= 40 &&
         std::abs(qGreen(pixel) - qGreen(expected)) <= 40 &&
         std::abs(qBlue(pixel) - qBlue(expected)) <= 40;
}

// A 402 x 258 area (the normal window's) over a backdrop of a colour no frame has; each paint()
// is a real paint of the widget into an image.
class VideoView : public ::testing::Test {
 protected:
  void SetUp() override {
    ensureQtApplication();
    view = std::make_unique<TVideoView>();
    QPalette palette = view->palette();
    palette.setColor(QPalette::Window, QColor::fromRgb(Backdrop));
    view->setPalette(palette);
    view->setAutoFillBackground(true);
    view->resize(402, 258);
  }

  QImage paint() { return view->grab().toImage().convertToFormat(QImage::Format_RGB32); }

  // The colour in the middle of the area, where every picture of these tests lies.
  QRgb centre() { return paint().pixel(201, 129); }

  std::unique_ptr<TVideoView> view;
};

TEST_F(VideoView, PictureIsFittedAndCentred) {
  struct TCase {
    QSize picture;
    QRect fitted;
    const char* fault;
  };
  const TCase cases[] = {
      {{1280, 720}, {0, 16, 402, 226}, "half-size decode placed or sized wrongly (226.125 cut)"},
      {{640, 480}, {29, 0, 344, 258}, "full-size decode of a 4:3 picture not pillarboxed"},
      {{804, 516}, {0, 0, 402, 258}, "half size exactly the area: no border may appear"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.fault);
    view->setPicture(solidJpeg(c.picture.width(), c.picture.height(), 0x00C000));
    const QImage shot = paint();
    ASSERT_EQ(shot.size(), QSize(402, 258));
    const QRect r = c.fitted;
    // Every corner of the fitted rectangle is picture...
    for (QPoint p : {r.topLeft(), r.topRight(), r.bottomLeft(), r.bottomRight()}) {
      EXPECT_TRUE(near(shot.pixel(p), 0xFF00C000u))
          << "picture missing at " << p.x() << "," << p.y();
    }
    // ...and the pixel just outside each side, where there is one, is backdrop.
    const QPoint outside[] = {{r.left() - 1, r.center().y()},
                              {r.right() + 1, r.center().y()},
                              {r.center().x(), r.top() - 1},
                              {r.center().x(), r.bottom() + 1}};
    for (QPoint p : outside) {
      if (shot.rect().contains(p)) {
        EXPECT_EQ(shot.pixel(p), Backdrop) << "picture overflows at " << p.x() << "," << p.y();
      }
    }
  }
}

TEST_F(VideoView, FrameThatDoesNotDecodeKeepsThePreviousPicture) {
  const TBytes valid = makeJpeg(640, 480, [](int, int) { return 0x00C000u; });
  struct TCase {
    const char* fault;
    TShared bytes;
  };
  const TCase cases[] = {
      {"no bytes", nullptr},
      {"empty bytes", shared({})},
      {"no JPEG at all", shared(TBytes(3000, 'x'))},
      {"header cut short", shared(TBytes(valid.begin(), valid.begin() + 20))},
      {"header asks for a picture above 8192 wide", shared(makeJpeg(8193, 8))},
      {"header reads but the pixels do not", shared(withUndefinedHuffmanTables(valid))},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.fault);
    view->setPicture(shared(valid));
    ASSERT_TRUE(near(centre(), 0xFF00C000u));
    view->setPicture(c.bytes);
    EXPECT_EQ(view->picture(), c.bytes) << "the bytes handed over are what picture() gives";
    EXPECT_TRUE(near(centre(), 0xFF00C000u)) << "the previous picture must stay on screen";
    // The stream goes on: the next good frame shows.
    view->setPicture(solidJpeg(640, 480, 0x0000C0));
    EXPECT_TRUE(near(centre(), 0xFF0000C0u));
  }
}

TEST_F(VideoView, OnlyTheLatestPictureIsDecodedAndOnlyWhenPainted) {
  std::vector<TShared> frames;
  for (int i = 0; i < 10; ++i) frames.push_back(solidJpeg(1280, 720, i == 9 ? 0xC00000 : 0x00C000));
  view->setPicture(solidJpeg(1280, 720, 0x0000C0));
  paint();
  ASSERT_EQ(view->decodeCount(), 1u);

  for (const TShared& frame : frames) view->setPicture(frame);
  EXPECT_EQ(view->decodeCount(), 1u) << "handing a frame over must not decode it";
  EXPECT_EQ(view->picture().get(), frames.back().get()) << "the bytes must be shared, not copied";
  EXPECT_TRUE(near(centre(), 0xFFC00000u)) << "the tenth picture is the one shown";
  EXPECT_EQ(view->decodeCount(), 2u) << "ten pictures between two paints decode once";

  paint();
  EXPECT_EQ(view->decodeCount(), 2u) << "a repaint without a new picture must not decode";
  view->setPicture(frames.back());
  paint();
  EXPECT_EQ(view->decodeCount(), 2u) << "the picture on screen handed over again (idle step)";
}

TEST_F(VideoView, NewAreaSizeDecodesTheShownPictureAgain) {
  view->setPicture(solidJpeg(1280, 720, 0x00C000));
  paint();
  const std::uint64_t before = view->decodeCount();
  // Full screen: the picture must be made for the new size, not stretched from 402 wide.
  view->resize(1280, 720);
  const QImage shot = paint();
  EXPECT_EQ(view->decodeCount(), before + 1);
  EXPECT_TRUE(near(shot.pixel(0, 0), 0xFF00C000u));
  EXPECT_TRUE(near(shot.pixel(1279, 719), 0xFF00C000u));
}

}  // namespace
