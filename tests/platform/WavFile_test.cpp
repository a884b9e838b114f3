// The voice message's file: what sox and a second, independent reader (Python's wave module)
// make of it, and how it is written in a shared temporary folder.
#include "platform/WavFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "CrashSupport.h"
#include "platform/Recorder.h"

namespace {

std::string run(const QString& program, const QStringList& arguments, int* status) {
  QProcess process;
  process.start(program, arguments);
  if (!process.waitForStarted(10000) || !process.waitForFinished(60000)) {
    *status = -1;
    return {};
  }
  *status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  return (process.readAllStandardOutput() + process.readAllStandardError()).toStdString();
}

std::string fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// A rising saw: every sample value, so a swapped or shifted byte shows.
std::string saw(std::size_t size) {
  std::string out(size, '\0');
  for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<char>(i % 256);
  return out;
}

class WavFileTest : public ::testing::Test {
 protected:
  std::string path(const std::string& name) const {
    return (dir.path() + "/").toStdString() + name;
  }
  QTemporaryDir dir;
};

}  // namespace

// Each length guards a fault of the chunk sizes: one sample, two seconds (the even size of a
// usual message) and an odd size, whose data chunk needs its pad byte for RIFF readers.
TEST_F(WavFileTest, SoxAndPythonReadTheFormatAndEverySample) {
  const std::size_t sizes[] = {1, 16000, 16001};
  for (std::size_t size : sizes) {
    SCOPED_TRACE(size);
    const std::string wav = path("m" + std::to_string(size) + ".wav");
    const std::string pcm = saw(size);
    std::string error;
    ASSERT_TRUE(writeWavFile(wav, pcm, &error)) << error;
    EXPECT_EQ(fileBytes(wav).size(), kWavHeaderSize + size + size % 2);

    int status = -1;
    const std::string info = run("soxi", {QString::fromStdString(wav)}, &status);
    ASSERT_EQ(status, 0) << info;
    EXPECT_NE(info.find("Channels       : 1"), std::string::npos) << info;
    EXPECT_NE(info.find("Sample Rate    : 8000"), std::string::npos) << info;
    EXPECT_NE(info.find("Precision      : 8-bit"), std::string::npos) << info;
    EXPECT_NE(info.find(std::to_string(size) + " samples"), std::string::npos) << info;
    EXPECT_NE(info.find("Unsigned Integer PCM"), std::string::npos) << info;

    // Python's reader is strict about the chunk sizes and gives back the samples themselves.
    const std::string script =
        "import sys, wave\n"
        "w = wave.open(sys.argv[1], 'rb')\n"
        "d = w.readframes(w.getnframes())\n"
        "open(sys.argv[2], 'wb').write(d)\n"
        "print(w.getnchannels(), w.getsampwidth(), w.getframerate(), w.getnframes())\n";
    const std::string samples = path("samples.raw");
    const std::string read = run("python3",
                                 {"-c", QString::fromStdString(script), QString::fromStdString(wav),
                                  QString::fromStdString(samples)},
                                 &status);
    ASSERT_EQ(status, 0) << read;
    EXPECT_EQ(read, "1 1 8000 " + std::to_string(size) + "\n");
    EXPECT_EQ(fileBytes(samples), pcm);
  }
}

// A link planted at the path must not carry our write to the file it points at, and the file
// we leave is ours alone; the next message replaces the last one.
TEST_F(WavFileTest, ReplacesAPlantedLinkAndEarlierMessagesWithAPrivateFile) {
  const std::string victim = path("victim");
  const std::string wav = path("ostrel-output.wav");
  { std::ofstream(victim) << "precious"; }
  ASSERT_EQ(::symlink(victim.c_str(), wav.c_str()), 0);
  std::string error;
  ASSERT_TRUE(writeWavFile(wav, saw(10), &error)) << error;
  EXPECT_EQ(fileBytes(victim), "precious");
  struct stat st {};
  ASSERT_EQ(::lstat(wav.c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  ASSERT_TRUE(writeWavFile(wav, saw(3), &error)) << error;
  EXPECT_EQ(fileBytes(wav), wavFileBytes(saw(3)));
}

// Reading the message back refuses a link too, and says why a file cannot be read.
TEST_F(WavFileTest, ReadingRefusesALinkAndTellsWhy) {
  const std::string real = path("real.wav");
  const std::string link = path("link.wav");
  ASSERT_TRUE(writeWavFile(real, saw(4), nullptr));
  ASSERT_EQ(::symlink(real.c_str(), link.c_str()), 0);
  std::string bytes, error;
  ASSERT_TRUE(readFileNoFollow(real, &bytes, &error)) << error;
  EXPECT_EQ(bytes, wavFileBytes(saw(4)));
  EXPECT_FALSE(readFileNoFollow(link, &bytes, &error));
  EXPECT_NE(error.find("link.wav"), std::string::npos) << error;
  EXPECT_FALSE(readFileNoFollow(path("missing.wav"), &bytes, &error));
  EXPECT_NE(error.find("No such file"), std::string::npos) << error;
}

#ifdef OSTREL_WAV_CRASH_HELPER
// A message being written when the program is killed: whoever reads the file next (the upload
// of the next message replaces it) finds the previous message or the new one whole, never a
// mixture or a short file.
TEST_F(WavFileTest, AProcessKilledMidWriteLeavesAWholeMessage) {
  constexpr std::size_t kSamples = 960000;  // two minutes, the longest message
  const std::string wav = path("message.wav");
  std::string error;
  ASSERT_TRUE(writeWavFile(wav, std::string(kSamples, '\0'), &error)) << error;
  for (int round = 0; round < crashRounds(); ++round) {
    ASSERT_EQ(killWriterMidLoop(OSTREL_WAV_CRASH_HELPER, {wav, std::to_string(kSamples)},
                                static_cast<unsigned>((round * 977) % 4000)),
              "");
    const std::string bytes = fileBytes(wav);
    ASSERT_EQ(bytes.size(), kWavHeaderSize + kSamples) << "round " << round;
    ASSERT_EQ(bytes.substr(0, kWavHeaderSize),
              wavFileBytes(std::string(kSamples, 'x')).substr(0, kWavHeaderSize));
    const char generation = bytes[kWavHeaderSize];
    ASSERT_EQ(bytes.find_first_not_of(generation, kWavHeaderSize), std::string::npos)
        << "round " << round;
    // The copy the killed writer left is cleared by the next write, not kept for ever.
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path().toStdString()))
      files += entry.is_regular_file() ? 1 : 0;
    ASSERT_LE(files, 2u) << "round " << round;
  }
}
#endif
