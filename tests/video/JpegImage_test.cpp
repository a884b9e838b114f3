#include "video/JpegImage.h"

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <QColor>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cmath>

#include "tests/support/QtTestSupport.h"
#include "tests/video/MJPEGTestSupport.h"
#include "video/PictureWorkspace.h"

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

// PSNR in dB over red, green and blue of two pictures of one size.
double psnr(const QImage& a, const QImage& b) {
  EXPECT_EQ(a.size(), b.size());
  if (a.size() != b.size()) return 0;
  double squares = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x) {
      const QRgb p = a.pixel(x, y);
      const QRgb q = b.pixel(x, y);
      for (int d : {qRed(p) - qRed(q), qGreen(p) - qGreen(q), qBlue(p) - qBlue(q)})
        squares += static_cast<double>(d) * d;
    }
  const double mean = squares / (3.0 * a.width() * a.height());
  return mean == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mean);
}

// Colour everywhere, waves of a few dozen pixels in each channel and direction: a chroma plane
// put one sample off, Cb and Cr swapped, or a plane scaled over the wrong extent all show, while
// any two good scalers agree on it.
std::uint32_t wavyColour(int x, int y) {
  auto wave = [](double phase) { return static_cast<std::uint32_t>(128 + 100 * std::sin(phase)); };
  return wave(x / 13.0) << 16 | wave(y / 11.0 + x / 29.0) << 8 | wave((x - y) / 17.0);
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

namespace {

TEST(JpegImage, ChoosesTheDecodeScaleAndThePathPerPictureSize) {
  using EPath = TJPEGImage::EScalePath;
  struct TCase {
    QSize picture;
    int subsampling;
    QSize area;
    int reduction;
    EPath path;
  };
  const TCase cases[] = {
      {{640, 480}, TJSAMP_420, {402, 258}, 1, EPath::Planes},  // half (320 x 240) would be upscaled
      {{640, 480}, TJSAMP_422, {402, 258}, 1, EPath::Planes},
      // Halved, TurboJPEG's BGRA keeps 4:2:0 chroma whole, its planes do not.
      {{1280, 720}, TJSAMP_420, {402, 258}, 2, EPath::Pixels},
      {{1280, 720}, TJSAMP_422, {402, 258}, 2, EPath::Planes},
      {{1920, 1080}, TJSAMP_420, {402, 258}, 2, EPath::Pixels},  // a quarter would cover, but blurs
      {{1920, 1080}, TJSAMP_422, {402, 258}, 2, EPath::Planes},
      {{1920, 1080}, TJSAMP_444, {402, 258}, 2, EPath::Planes},
      {{804, 516}, TJSAMP_420, {402, 258}, 2, EPath::Exact},  // half is exactly the area
      {{402, 258}, TJSAMP_422, {402, 258}, 1, EPath::Exact},
      {{160, 120}, TJSAMP_420, {402, 258}, 1, EPath::Planes},     // scaled up
      {{1280, 720}, TJSAMP_420, {1920, 1080}, 1, EPath::Planes},  // full screen
      {{1280, 720}, TJSAMP_420, {0, 0}, 1, EPath::None},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.picture.width()) + "x" + std::to_string(c.picture.height()) +
                 " sub " + std::to_string(c.subsampling) + " into " +
                 std::to_string(c.area.width()) + "x" + std::to_string(c.area.height()));
    const int w = c.picture.width();
    const int h = c.picture.height();
    EXPECT_EQ(TJPEGImage::reductionFor(w, h, c.area.width(), c.area.height()), c.reduction);
    EXPECT_EQ(TJPEGImage::scalePath(w, h, c.subsampling, c.area.width(), c.area.height()), c.path);
    TJPEGImage image;
    ASSERT_TRUE(image.load(shared(makeJpeg(w, h, nullptr, c.subsampling))));
    EXPECT_EQ(image.scalePathFor(c.area.width(), c.area.height()), c.path);
  }
}

// The planes' way must show what a full decode scaled smoothly by Qt shows, for every
// subsampling and for sides that do not fill the last block (a reduced odd side covers half a
// sample less than its samples count: counting them shifted the picture by a third of a pixel).
TEST(JpegImage, ResampledPlanesShowTheSamePictureAsAFullDecode) {
  struct TCase {
    QSize picture;
    int subsampling;
    const char* name;
  };
  const TCase cases[] = {
      {{640, 480}, TJSAMP_420, "640x480 4:2:0"},   {{640, 480}, TJSAMP_422, "640x480 4:2:2"},
      {{640, 480}, TJSAMP_444, "640x480 4:4:4"},   {{640, 480}, TJSAMP_GRAY, "640x480 grey"},
      {{640, 480}, TJSAMP_440, "640x480 4:4:0"},   {{640, 480}, TJSAMP_411, "640x480 4:1:1"},
      {{1280, 720}, TJSAMP_420, "1280x720 4:2:0"}, {{1920, 1080}, TJSAMP_422, "1080p 4:2:2"},
      {{641, 481}, TJSAMP_420, "odd sides"},       {{1281, 721}, TJSAMP_420, "odd, halved"},
      {{160, 120}, TJSAMP_420, "scaled up"},       {{7, 5}, TJSAMP_420, "smaller than a block"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    const int w = c.picture.width();
    const int h = c.picture.height();
    TJPEGImage image;
    ASSERT_TRUE(image.load(shared(makeJpeg(w, h, wavyColour, c.subsampling, 95))));
    const QSize fitted = TJPEGImage::fitRect(w, h, 402, 258).size();
    const QImage shown = image.planesFor(402, 258);
    ASSERT_EQ(shown.size(), fitted);
    const QImage reference =
        image.decodeFor(w, h).scaled(fitted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    EXPECT_GT(psnr(shown, reference), 38.0);
    for (int y = 0; y < shown.height(); ++y)
      for (int x = 0; x < shown.width(); ++x) ASSERT_EQ(qAlpha(shown.pixel(x, y)), 255);
  }
}

// Against a scaler nobody here wrote at its best: ffmpeg's full decode and lanczos scaling of
// camera-like frames (its own MJPEG encoder, baseline, chroma subsampled). Its accurate
// rounding and full chroma interpolation are asked for: without them swscale takes chroma
// from the nearest sample, and its picture is a worse reference than the one judged. Judged:
// the picture shown, and the planes' way at every size (1280x720 4:2:0 planes decoded at
// half size, their chroma then enlarged, give 39 dB), 4:4:4 included, whose full chroma a
// triangle filter softens to 38 dB.
TEST(JpegImage, ShownPictureStaysCloseToFfmpegLanczos) {
  const QString ffmpeg = QStandardPaths::findExecutable("ffmpeg");
  ASSERT_FALSE(ffmpeg.isEmpty()) << "ffmpeg is needed as the reference scaler";
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  struct TCase {
    QSize picture;
    const char* format;
  };
  const TCase cases[] = {
      {{640, 480}, "yuvj420p"},   {{640, 480}, "yuvj422p"},   {{640, 480}, "yuvj444p"},
      {{1280, 720}, "yuvj420p"},  {{1280, 720}, "yuvj422p"},  {{1280, 720}, "yuvj444p"},
      {{1920, 1080}, "yuvj420p"}, {{1920, 1080}, "yuvj422p"}, {{1920, 1080}, "yuvj444p"}};
  for (const TCase& c : cases) {
    const QString size = QString("%1x%2").arg(c.picture.width()).arg(c.picture.height());
    SCOPED_TRACE((size + " " + c.format).toStdString());
    const QString jpeg = dir.filePath("frame.jpg");
    const QString raw = dir.filePath("frame.bgra");
    ASSERT_EQ(QProcess::execute(ffmpeg, {"-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                                         "testsrc=size=" + size, "-frames:v", "1", "-pix_fmt",
                                         c.format, "-huffman", "default", "-q:v", "5", jpeg}),
              0);
    const QSize fitted =
        TJPEGImage::fitRect(c.picture.width(), c.picture.height(), 402, 258).size();
    ASSERT_EQ(
        QProcess::execute(ffmpeg, {"-nostdin", "-v", "error", "-y", "-i", jpeg, "-vf",
                                   QString("scale=%1:%2:flags=lanczos+accurate_rnd+full_chroma_int")
                                       .arg(fitted.width())
                                       .arg(fitted.height()),
                                   "-pix_fmt", "bgra", "-f", "rawvideo", raw}),
        0);
    QFile file(raw);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray pixels = file.readAll();
    ASSERT_EQ(pixels.size(), fitted.width() * fitted.height() * 4);
    const QImage reference(reinterpret_cast<const uchar*>(pixels.constData()), fitted.width(),
                           fitted.height(), QImage::Format_RGB32);
    const std::string bytes = readFileBytes(jpeg.toStdString());
    TJPEGImage image;
    ASSERT_TRUE(image.load(shared(TBytes(bytes.begin(), bytes.end()))));
    EXPECT_GE(psnr(image.scaledFor(402, 258), reference), 40.0) << "shown";
    EXPECT_GE(psnr(image.planesFor(402, 258), reference), 40.0) << "planes";
  }
}

// The video area keeps one workspace for every frame: frames of other sizes and subsamplings
// through it (its buffer grown, its tables changed) must show what a fresh workspace shows.
TEST(JpegImage, AKeptWorkspaceShowsWhatAFreshOneShows) {
  struct TCase {
    QSize picture;
    int subsampling;
  };
  const TCase cases[] = {{{640, 480}, TJSAMP_420},  {{1280, 720}, TJSAMP_422},
                         {{320, 200}, TJSAMP_GRAY}, {{1920, 1080}, TJSAMP_420},
                         {{641, 481}, TJSAMP_444},  {{640, 480}, TJSAMP_420}};
  TPictureWorkspace kept;
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.picture.width()) + "x" + std::to_string(c.picture.height()));
    TJPEGImage image;
    ASSERT_TRUE(image.load(
        shared(makeJpeg(c.picture.width(), c.picture.height(), wavyColour, c.subsampling))));
    const QImage fresh = image.scaledFor(402, 258);
    ASSERT_FALSE(fresh.isNull());
    EXPECT_EQ(image.scaledFor(402, 258, kept), fresh);
  }
}

}  // namespace
