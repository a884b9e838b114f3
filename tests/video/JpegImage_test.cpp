#include "video/JpegImage.h"

#include <gtest/gtest.h>

#include <QColor>

#include "tests/video/MJPEGTestSupport.h"

namespace {

TJPEGImage::TBytes shared(TBytes bytes) { return std::make_shared<const TBytes>(std::move(bytes)); }

// Left half red, right half blue: shows a swapped channel order or a mirrored picture.
std::uint32_t redThenBlue(int x, int width) { return x < width / 2 ? 0xFF0000u : 0x0000FFu; }

void expectNear(QRgb pixel, QColor expected, const char* where) {
  SCOPED_TRACE(where);
  EXPECT_NEAR(qRed(pixel), expected.red(), 40);
  EXPECT_NEAR(qGreen(pixel), expected.green(), 40);
  EXPECT_NEAR(qBlue(pixel), expected.blue(), 40);
  EXPECT_EQ(qAlpha(pixel), 255);
}

// The first component of the scan now asks for Huffman tables that were never defined: the
// header still reads, the decoding cannot start.
TBytes withUndefinedHuffmanTables(TBytes jpeg) {
  for (std::size_t i = 0; i + 6 < jpeg.size(); ++i)
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA) {
      jpeg[i + 6] = 0x33;  // marker, length (2), component count, component id, tables
      return jpeg;
    }
  throw std::runtime_error("no scan");
}

TEST(JpegImage, LoadReadsTheSizeAndSharesTheBytes) {
  auto bytes = shared(makeJpeg(640, 480));
  TJPEGImage image;
  ASSERT_TRUE(image.load(bytes));
  EXPECT_FALSE(image.empty());
  EXPECT_EQ(image.width(), 640);
  EXPECT_EQ(image.height(), 480);
  EXPECT_EQ(image.bytes().get(), bytes.get()) << "the frame's bytes must not be copied";

  TJPEGImage copy = image;
  EXPECT_EQ(copy.bytes().get(), bytes.get());
}

TEST(JpegImage, RefusesWhatCannotBeShown) {
  const TBytes valid = makeJpeg(64, 48);
  struct TCase {
    const char* fault;
    TJPEGImage::TBytes bytes;
    bool loads;
  };
  const TCase cases[] = {
      {"no bytes at all", nullptr, false},
      {"an empty buffer", shared({}), false},
      {"bytes that are no JPEG", shared(TBytes(2000, 'z')), false},
      {"a header cut before the picture size", shared(TBytes(valid.begin(), valid.begin() + 20)),
       false},
      {"a width above 8192", shared(makeJpeg(8193, 8)), false},
      {"a height above 8192", shared(makeJpeg(8, 8193)), false},
      {"8192 is still accepted", shared(makeJpeg(8192, 8)), true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.fault);
    TJPEGImage image;
    ASSERT_TRUE(image.load(shared(valid)));
    EXPECT_EQ(image.load(c.bytes), c.loads);
    EXPECT_EQ(image.empty(), !c.loads) << "a refused load must not keep the previous frame";
    if (!c.loads) {
      EXPECT_EQ(image.width(), 0);
      EXPECT_TRUE(image.decodeFor(402, 258).isNull());
    }
  }
}

TEST(JpegImage, DecodesAtHalfSizeOnlyWhenThatStillCoversTheArea) {
  struct TCase {
    QSize picture;
    QSize area;
    QSize decoded;
  };
  const TCase cases[] = {
      {{1280, 720}, {402, 258}, {640, 360}},     // the normal window
      {{640, 480}, {402, 258}, {640, 480}},      // half (320 x 240) would be upscaled
      {{804, 516}, {402, 258}, {402, 258}},      // half is exactly the area
      {{802, 514}, {402, 258}, {802, 514}},      // half is 401 wide, one pixel short
      {{1281, 721}, {402, 258}, {641, 361}},     // odd sides round up, as TurboJPEG scales
      {{1280, 720}, {1920, 1080}, {1280, 720}},  // full screen
      {{1280, 720}, {0, 0}, {1280, 720}},        // no area: nothing to gain, decode fully
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.picture.width()) + "x" + std::to_string(c.picture.height()) +
                 " into " + std::to_string(c.area.width()) + "x" + std::to_string(c.area.height()));
    TJPEGImage image;
    ASSERT_TRUE(image.load(shared(makeJpeg(c.picture.width(), c.picture.height()))));
    EXPECT_EQ(image.decodeFor(c.area.width(), c.area.height()).size(), c.decoded);
  }
}

TEST(JpegImage, DecodedPixelsKeepTheirColoursAndPlaces) {
  TJPEGImage image;
  ASSERT_TRUE(image.load(shared(makeJpeg(64, 32, [](int x, int) { return redThenBlue(x, 64); }))));
  for (QSize area : {QSize(64, 32), QSize(32, 16)}) {
    const QImage picture = image.decodeFor(area.width(), area.height());
    ASSERT_EQ(picture.size(), area);
    expectNear(picture.pixel(area.width() / 8, area.height() / 2), Qt::red, "left");
    expectNear(picture.pixel(area.width() * 7 / 8, area.height() / 2), Qt::blue, "right");
  }
}

TEST(JpegImage, FitRectKeepsTheAspectAndCentres) {
  struct TCase {
    QSize picture;
    QSize area;
    QRect fitted;
  };
  const TCase cases[] = {
      {{1280, 720}, {402, 258}, {0, 16, 402, 226}},  // 226.125 is cut down
      {{640, 480}, {402, 258}, {29, 0, 344, 258}},
      {{100, 100}, {402, 258}, {72, 0, 258, 258}},  // scaled up
      {{3, 1}, {10, 10}, {0, 3, 10, 3}},            // offset 3.5 rounded down
      {{1920, 1080}, {1920, 1080}, {0, 0, 1920, 1080}},
      {{0, 0}, {402, 258}, {}},
      {{640, 480}, {0, 258}, {}},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(
        TJPEGImage::fitRect(c.picture.width(), c.picture.height(), c.area.width(), c.area.height()),
        c.fitted)
        << c.picture.width() << "x" << c.picture.height();
  }
}

TEST(JpegImage, ScaledForGivesTheFittedPictureSmoothly) {
  TJPEGImage image;
  ASSERT_TRUE(
      image.load(shared(makeJpeg(1280, 720, [](int x, int) { return redThenBlue(x, 1280); }))));
  const QImage scaled = image.scaledFor(402, 258);
  ASSERT_EQ(scaled.size(), QSize(402, 226));
  expectNear(scaled.pixel(50, 113), Qt::red, "left");
  expectNear(scaled.pixel(350, 113), Qt::blue, "right");
  EXPECT_TRUE(TJPEGImage().scaledFor(402, 258).isNull());
}

TEST(JpegImage, UndecodableFramesGiveAnEmptyPictureAndNoCrash) {
  const TBytes valid = makeJpeg(320, 240);
  TJPEGImage broken;
  ASSERT_TRUE(broken.load(shared(withUndefinedHuffmanTables(valid))));
  EXPECT_TRUE(broken.decodeFor(402, 258).isNull());
  EXPECT_TRUE(broken.scaledFor(402, 258).isNull());

  // Damaged or missing entropy data: whatever comes out, it has the announced size.
  TBytes garbled = valid;
  for (std::size_t i = garbled.size() / 2; i < garbled.size() - 2; i += 7) garbled[i] ^= 0x5A;
  const TBytes truncated(valid.begin(), valid.begin() + static_cast<long>(valid.size() * 2 / 3));
  for (const TBytes& bytes : {garbled, truncated}) {
    TJPEGImage image;
    ASSERT_TRUE(image.load(shared(bytes)));
    const QImage picture = image.decodeFor(320, 240);
    if (!picture.isNull()) {
      EXPECT_EQ(picture.size(), QSize(320, 240));
    }
  }
}

}  // namespace
