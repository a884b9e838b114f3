#include "video/MJPEGDecoder.h"

#include <gtest/gtest.h>

#include <QStandardPaths>
#include <QTimer>

#include "tests/support/QtTestSupport.h"
#include "tests/video/MJPEGTestSupport.h"

namespace {

using TAfter = TScriptedServer::TAfterReply;

const std::string StreamPath = "/?action=streaming";
const std::string StreamHeader =
    "HTTP/1.0 200 OK\r\nContent-Type: multipart/x-mixed-replace;boundary=b\r\n\r\n";
const std::string CouldNotConnect = "Could not connect to server";
const std::string ConnectedNote = "Connected, sending request";
const std::string SpawningNote = "Request sent, spawning decoder thread";
const std::string Status1 = "Decoder thread status code: 1";
const std::string Status2 = "Decoder thread status code: 2";
const std::string Status3 = "Decoder thread status code: 3 = Thread closed.";

std::string part(const TBytes& jpeg, const std::string& announcement = "Content-Length: ") {
  return "--b\r\nContent-Type: image/jpeg\r\n" + announcement + std::to_string(jpeg.size()) +
         "\r\n\r\n" + asText(jpeg) + "\r\n";
}

// Everything a decoder tells its owner.
struct TRecorder {
  std::vector<std::string> errors;
  std::vector<std::string> messages;
  std::vector<TBytes> frames;
  int disconnects = 0;

  void attach(IMJPEGDecoder& decoder) {
    decoder.OnFrame = [this](IMJPEGDecoder&, std::unique_ptr<TJPEGImage> image) {
      frames.push_back(*image->bytes());
    };
    decoder.OnError = [this](IMJPEGDecoder&, const std::string& text) { errors.push_back(text); };
    decoder.OnMessage = [this](IMJPEGDecoder&, const std::string& text) {
      messages.push_back(text);
    };
    decoder.OnDisconnect = [this](IMJPEGDecoder&) { ++disconnects; };
  }
};

class MJPEGDecoderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ensureQtApplication();
    decoder = std::make_unique<TMJPEGDecoder>();
    events.attach(*decoder);
  }

  void connectTo(std::uint16_t port, const std::string& login = {},
                 const std::string& password = {}) {
    decoder->Connect("127.0.0.1", port, StreamPath, login, password);
  }

  // The header exchange has been handled, whatever its outcome.
  static bool settled(const TMJPEGDecoder& d) {
    return waitUntil([&] { return !d.Connecting(); }, std::chrono::seconds(20));
  }

  // The stream has ended and its thread has reported its end.
  bool streamEnded(const TRecorder& recorder, const TMJPEGDecoder& d) {
    return !recorder.errors.empty() && !d.Connected() && !d.ThreadRunning();
  }

  TRecorder events;
  std::unique_ptr<TMJPEGDecoder> decoder;
  const TBytes jpegA = makeJpeg(32, 24);
  const TBytes jpegB = makeJpeg(48, 32, [](int x, int) { return x < 24 ? 0x20C040u : 0x4020C0u; });
  const TBytes jpeg5120 = padJpeg(makeJpeg(16, 16), 5120);
};

TEST_F(MJPEGDecoderTest, ContentTypeDecidesWhetherTheStreamStarts) {
  struct TCase {
    const char* fault;
    std::vector<std::string> header;
    bool accepted;
    std::string rawValue;  // as quoted in the refusal
  };
  const TCase cases[] = {
      {"a parameter after ';' is ignored",
       {"HTTP/1.0 200 OK", "Content-Type: multipart/x-mixed-replace;boundary=myboundary"},
       true,
       ""},
      {"the name is matched without regard to case",
       {"HTTP/1.0 200 OK", "content-type: multipart/x-mixed-replace;boundary=x"},
       true,
       ""},
      {"blanks and control characters around the value are trimmed",
       {"HTTP/1.0 200 OK", "Content-Type:multipart/x-mixed-replace \t"},
       true,
       ""},
      {"the value is compared case-sensitively",
       {"HTTP/1.0 200 OK", "Content-Type: Multipart/X-Mixed-Replace;boundary=x"},
       false,
       " Multipart/X-Mixed-Replace;boundary=x"},
      {"a blank before ';' stays part of the value",
       {"HTTP/1.0 200 OK", "Content-Type: multipart/x-mixed-replace ;boundary=x"},
       false,
       " multipart/x-mixed-replace ;boundary=x"},
      {"a blank before ':' makes another name",
       {"HTTP/1.0 200 OK", "Content-Type : multipart/x-mixed-replace"},
       false,
       ""},
      {"an error reply without Content-Type is refused, its status line unexamined",
       {"HTTP/1.0 401 Unauthorized", "WWW-Authenticate: Basic realm=\"cam\""},
       false,
       ""},
      {"the first Content-Type line decides",
       {"HTTP/1.0 200 OK", "Content-Type: text/html", "Content-Type: multipart/x-mixed-replace"},
       false,
       " text/html"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.fault);
    std::string reply;
    std::string stored;
    for (const std::string& line : c.header) {
      reply += line + "\r\n";
      stored += line + "\r\n";
    }
    TScriptedServer server(reply + "\r\n");
    TMJPEGDecoder d;
    TRecorder recorder;
    recorder.attach(d);
    d.Connect("127.0.0.1", server.port(), StreamPath, "", "");
    ASSERT_TRUE(settled(d));

    EXPECT_EQ(d.headerLines(), c.header);
    EXPECT_EQ(d.Connected(), c.accepted);
    EXPECT_EQ(d.BadContentType(), !c.accepted);
    if (c.accepted) {
      EXPECT_EQ(recorder.messages, (std::vector<std::string>{ConnectedNote, SpawningNote}));
      EXPECT_TRUE(recorder.errors.empty());
    } else {
      EXPECT_EQ(recorder.messages, std::vector<std::string>{ConnectedNote});
      EXPECT_EQ(recorder.errors,
                (std::vector<std::string>{
                    "Invalid content type received from server: " + c.rawValue, stored}));
      EXPECT_TRUE(server.waitClientClosed()) << "a refused reply must close the connection";
    }
  }
}

TEST_F(MJPEGDecoderTest, RequestIsExactlyTheGetLineTheCredentialAndAnEmptyLine) {
  struct TCase {
    std::string login;
    std::string password;
    std::string credential;
  };
  const TCase cases[] = {
      {"admin", "secret", "YWRtaW46c2VjcmV0"},
      {"admin", "", ""},
      {"", "secret", ""},
      {"", "", ""},
      // 8-bit text is encoded as its bytes, without any conversion.
      {"user", "pa\xE9", "dXNlcjpwYek="},
      {"a", "b:c", "YTpiOmM="},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.login + "/" + c.password);
    // A refused reply makes the decoder close, so everything it ever sent can be compared.
    TScriptedServer server("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n");
    TMJPEGDecoder d;
    d.Connect("127.0.0.1", server.port(), StreamPath, c.login, c.password);
    ASSERT_TRUE(server.waitClientClosed());
    EXPECT_EQ(server.received(), "GET /?action=streaming HTTP/1.1\r\nAuthorization: Basic " +
                                     c.credential + "\r\n\r\n");
    EXPECT_EQ(d.Path(), StreamPath);
  }
}

TEST_F(MJPEGDecoderTest, BodyIsCutIntoFramesByContentLengthOnly) {
  struct TCase {
    const char* fault;
    std::string body;
    TAfter after;
    std::vector<TBytes> frames;
    std::string finalError;
  };
  const std::string longLine(16384, 'x');
  const TCase cases[] = {
      {"one 5120-byte part yields exactly one frame of those bytes",
       part(jpeg5120),
       TAfter::CloseAfterReply,
       {jpeg5120},
       Status3},
      {"parts arrive whole and in order, however the announcement is written",
       part(jpegA, "Content-length: ") + part(jpegB, "  CONTENT-LENGTH:\t") +
           "--b\r\nContent-Length: 99\r\nContent-Length: 5120\r\n\r\n" + asText(jpeg5120) +
           "\r\n--b\nContent-Length: " + std::to_string(jpegA.size()) + "\n\n" + asText(jpegA),
       TAfter::CloseAfterReply,
       {jpegA, jpegB, jpeg5120, jpegA},
       Status3},
      {"a length that is not a number reads no frame; its data is read as lines",
       "--b\r\nContent-Length: abc\r\n\r\n" + asText(jpegA) + "\r\n" + part(jpegB),
       TAfter::CloseAfterReply,
       {jpegB},
       Status3},
      {"a part that is no JPEG is dropped and the stream goes on",
       part(TBytes(300, 'z')) + part(jpegA),
       TAfter::CloseAfterReply,
       {jpegA},
       Status3},
      {"a line of 16384 bytes is still a line",
       longLine + "\n" + part(jpegA),
       TAfter::CloseAfterReply,
       {jpegA},
       Status3},
      {"a line of 16385 bytes is a read error while the connection is up",
       longLine + "x\n" + part(jpegA),
       TAfter::KeepOpen,
       {},
       Status2},
      {"a body without Content-Length ends at the first over-long line",
       "--b\r\n" + std::string(20000, '\x01'),
       TAfter::KeepOpen,
       {},
       Status2},
      {"a length above 16 MiB ends the stream without reading a frame",
       "Content-Length: 16777217\r\n\r\n" + asText(jpegA),
       TAfter::KeepOpen,
       {},
       Status2},
      {"a frame cut short by the peer gives status 1",
       "Content-Length: 5120\r\n\r\n" + asText(TBytes(jpeg5120.begin(), jpeg5120.begin() + 100)),
       TAfter::CloseAfterReply,
       {},
       Status1},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.fault);
    TScriptedServer server(StreamHeader + c.body, c.after);
    TMJPEGDecoder d;
    TRecorder recorder;
    recorder.attach(d);
    d.Connect("127.0.0.1", server.port(), StreamPath, "", "");
    ASSERT_TRUE(waitUntil([&] { return streamEnded(recorder, d); }, std::chrono::seconds(20)));
    EXPECT_EQ(recorder.messages, (std::vector<std::string>{ConnectedNote, SpawningNote}));
    EXPECT_EQ(recorder.frames, c.frames);
    EXPECT_EQ(recorder.errors, std::vector<std::string>{c.finalError});
    EXPECT_TRUE(server.waitClientClosed()) << "the ended stream's connection must be closed";
  }
}

TEST_F(MJPEGDecoderTest, ContentLengthValues) {
  struct TCase {
    std::string line;  // lower-cased and trimmed, as the loop sees it
    std::optional<long> length;
  };
  const TCase cases[] = {
      {"content-length: 5120", 5120},
      {"content-length:5120", 5120},
      {"content-length: abc", 0},
      {"content-length: 12abc", 0},
      {"content-length:", 0},
      {"content-length: -5", -5},
      {"content-length: 2147483647", 2147483647L},
      {"content-length: 2147483648", 0},  // beyond a 32-bit integer: not a number
      {"content-type: image/jpeg", std::nullopt},
      {"x-content-length: 5", std::nullopt},
  };
  for (const TCase& c : cases) EXPECT_EQ(mjpegContentLength(c.line), c.length) << c.line;
}

TEST_F(MJPEGDecoderTest, ConnectWhileConnectedChangesNothingAndSendsNothing) {
  TScriptedServer streaming(StreamHeader);
  TIdleListener other;
  connectTo(streaming.port());
  ASSERT_TRUE(settled(*decoder));
  ASSERT_TRUE(decoder->Connected());
  const auto before = events.messages;

  decoder->Connect("127.0.0.1", other.port(), "/other", "admin", "secret");

  EXPECT_FALSE(decoder->Connecting());
  pumpEvents(std::chrono::milliseconds(200));
  EXPECT_FALSE(other.hasPendingConnection());
  EXPECT_TRUE(decoder->Connected());
  EXPECT_EQ(decoder->Path(), StreamPath);
  EXPECT_EQ(events.messages, before);
  EXPECT_TRUE(events.errors.empty());
  decoder->Disconnect();
  ASSERT_TRUE(streaming.waitClientClosed());
  EXPECT_EQ(streaming.received(),
            "GET /?action=streaming HTTP/1.1\r\nAuthorization: Basic \r\n\r\n");
}

TEST_F(MJPEGDecoderTest, DisconnectStopsAStreamAndDoesNothingWithoutOne) {
  TScriptedServer server(StreamHeader + part(jpegA));
  decoder->Disconnect();
  EXPECT_EQ(events.disconnects, 0);

  connectTo(server.port());
  ASSERT_TRUE(waitUntil([&] { return events.frames.size() == 1; }));
  decoder->Disconnect();
  EXPECT_EQ(events.disconnects, 1);
  EXPECT_FALSE(decoder->Connected());
  EXPECT_TRUE(server.waitClientClosed());

  ASSERT_TRUE(waitUntil([&] { return !decoder->ThreadRunning(); }));
  // A thread blocked in its read reports the closed connection; one caught between two reads
  // ends silently.
  ASSERT_LE(events.errors.size(), 1u);
  if (!events.errors.empty()) {
    EXPECT_EQ(events.errors[0], Status3);
  }
  EXPECT_EQ(events.frames.size(), 1u);

  decoder->Disconnect();
  EXPECT_EQ(events.disconnects, 1);
}

TEST_F(MJPEGDecoderTest, StatusOfADisconnectedStreamLeavesTheNextStreamRunning) {
  TScriptedServer first(StreamHeader + part(jpegA));
  TScriptedServer second(StreamHeader + part(jpegB));
  connectTo(first.port());
  ASSERT_TRUE(waitUntil([&] { return events.frames.size() == 1; }));

  // The controller stops a stream and starts the next one on the same decoder.
  decoder->Disconnect();
  connectTo(second.port());
  ASSERT_TRUE(settled(*decoder));
  ASSERT_TRUE(decoder->Connected());
  // Delivery is in posting order: the first thread's status, posted when Disconnect woke it,
  // comes before the second stream's frame.
  ASSERT_TRUE(waitUntil([&] { return events.frames.size() == 2; }));
  EXPECT_TRUE(decoder->Connected());

  second.send(part(jpeg5120));
  ASSERT_TRUE(waitUntil([&] { return events.frames.size() == 3; }));
  EXPECT_EQ(events.frames[2], jpeg5120);
  EXPECT_TRUE(decoder->Connected());
  for (const std::string& error : events.errors) EXPECT_EQ(error, Status3);
}

TEST_F(MJPEGDecoderTest, NothingIsDeliveredAfterDestruction) {
  std::string burst = StreamHeader;
  for (int i = 0; i < 300; ++i) burst += part(jpegA);
  for (bool insideHandler : {false, true}) {
    SCOPED_TRACE(insideHandler ? "destroyed by its own frame handler" : "destroyed between frames");
    TScriptedServer server(burst);
    auto d = std::make_unique<TMJPEGDecoder>();
    int frames = 0;
    int afterDestruction = 0;
    bool destroyed = false;
    d->OnFrame = [&, holder = &d](IMJPEGDecoder&, std::unique_ptr<TJPEGImage>) {
      if (destroyed) ++afterDestruction;
      ++frames;
      if (insideHandler) {
        // Only locals from here on: this handler is freed with the decoder.
        bool* flag = &destroyed;
        holder->reset();
        *flag = true;
      }
    };
    d->OnError = [&](IMJPEGDecoder&, const std::string&) {
      if (destroyed) ++afterDestruction;
    };
    d->Connect("127.0.0.1", server.port(), StreamPath, "", "");
    ASSERT_TRUE(waitUntil([&] { return frames >= 1; }));
    if (!insideHandler) {
      d.reset();
      destroyed = true;
    }
    EXPECT_EQ(d, nullptr);
    EXPECT_TRUE(server.waitClientClosed());
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
    EXPECT_EQ(afterDestruction, 0);
    if (insideHandler) {
      EXPECT_EQ(frames, 1);
    }
  }
}

TEST_F(MJPEGDecoderTest, FailedConnectionsReportThatTheServerWasNotReached) {
  TRefusingPort refusing;
  TScriptedServer closing("HTTP/1.0 200 OK\r\nContent-Ty", TAfter::CloseAfterReply);
  TScriptedServer silent("");
  struct TCase {
    const char* fault;
    std::uint16_t port;
    std::vector<std::string> messages;
  };
  const TCase cases[] = {
      {"a refused connection", refusing.port(), {}},
      {"the peer closes while the header is read", closing.port(), {ConnectedNote}},
      {"a peer that accepts and never answers ends the attempt after the header bound",
       silent.port(),
       {ConnectedNote}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.fault);
    TMJPEGDecoder d;
    TRecorder recorder;
    recorder.attach(d);
    int stopped = 0;
    d.OnStopped = [&](IMJPEGDecoder&) { ++stopped; };
    d.Connect("127.0.0.1", c.port, StreamPath, "admin", "secret");
    ASSERT_TRUE(settled(d));
    EXPECT_EQ(stopped, 1) << "the owner learns that the attempt is over";
    EXPECT_FALSE(d.Connected());
    EXPECT_FALSE(d.BadContentType());
    EXPECT_EQ(recorder.errors, std::vector<std::string>{CouldNotConnect});
    EXPECT_EQ(recorder.messages, c.messages);
  }
  EXPECT_TRUE(closing.waitClientClosed());
  EXPECT_TRUE(silent.waitClientClosed());
}

// The connection and the header exchange are the receiving thread's: Connect returns at once,
// the UI thread goes on, and the notes and errors still come in their order.
TEST_F(MJPEGDecoderTest, ConnectNeverWaitsForThePanel) {
  TScriptedServer silent("");
  connectTo(silent.port());
  EXPECT_TRUE(decoder->Connecting()) << "Connect returned before any answer";
  EXPECT_TRUE(events.errors.empty()) << "the attempt is not over yet";
  bool ticked = false;
  QTimer::singleShot(0, [&] { ticked = true; });
  ASSERT_TRUE(waitUntil([&] { return ticked && !events.messages.empty(); }));
  EXPECT_TRUE(decoder->Connecting()) << "the UI thread runs while the panel keeps silent";

  ASSERT_TRUE(settled(*decoder));
  EXPECT_EQ(events.messages, std::vector<std::string>{ConnectedNote});
  EXPECT_EQ(events.errors, std::vector<std::string>{CouldNotConnect});
  EXPECT_FALSE(decoder->Connected());
}

TEST_F(MJPEGDecoderTest, DisconnectAbandonsAnAttemptWithoutAWord) {
  TScriptedServer silent("");
  int stopped = 0;
  decoder->OnStopped = [&](IMJPEGDecoder&) { ++stopped; };
  connectTo(silent.port());
  ASSERT_TRUE(waitUntil([&] { return !silent.received().empty(); }));
  decoder->Disconnect();
  EXPECT_EQ(events.disconnects, 1);
  EXPECT_FALSE(decoder->Connecting());
  EXPECT_TRUE(silent.waitClientClosed());
  ASSERT_TRUE(waitUntil([&] { return !decoder->ThreadRunning(); }));
  EXPECT_TRUE(events.errors.empty());
  EXPECT_EQ(stopped, 0) << "a stop asked for is no failure";

  // The same decoder connects again afterwards.
  TScriptedServer streaming(StreamHeader + part(jpegA));
  connectTo(streaming.port());
  ASSERT_TRUE(waitUntil([&] { return events.frames.size() == 1; }));
  EXPECT_TRUE(decoder->Connected());
}

// A panel that vanishes without closing (power cut, cable pulled) sends nothing more: after the
// idle bound the stream counts as lost, as a closed one does, and its owner can start again.
TEST_F(MJPEGDecoderTest, StreamSilentForTheIdleBoundIsLost) {
  TScriptedServer server(StreamHeader + part(jpegA));
  int stopped = 0;
  decoder->OnStopped = [&](IMJPEGDecoder&) { ++stopped; };
  connectTo(server.port());
  ASSERT_TRUE(waitUntil([&] { return events.frames.size() == 1; }));
  ASSERT_TRUE(waitUntil([&] { return streamEnded(events, *decoder); }, std::chrono::seconds(30)));
  EXPECT_EQ(events.errors, std::vector<std::string>{Status3});
  EXPECT_EQ(stopped, 1);
  EXPECT_TRUE(server.waitClientClosed());
}

// ffmpeg's own MJPEG server answers chunked, one part per chunk, announcing "Content-length":
// the chunk lines are read as ordinary lines and every frame must still arrive whole.
TEST_F(MJPEGDecoderTest, FramesFromFfmpegArriveWhole) {
  const QString ffmpeg = QStandardPaths::findExecutable("ffmpeg");
  ASSERT_FALSE(ffmpeg.isEmpty()) << "ffmpeg is needed as the real MJPEG peer";
  const std::uint16_t port = freeLoopbackPort();
  TSpawnedProcess server;
  ASSERT_TRUE(
      server.start({ffmpeg.toStdString(), "-nostdin", "-loglevel", "error", "-re", "-f", "lavfi",
                    "-i", "testsrc=size=640x480:rate=10", "-frames:v", "30", "-f", "mpjpeg",
                    "-listen", "1", "-content_type", "multipart/x-mixed-replace;boundary=ffmpeg",
                    "http://127.0.0.1:" + std::to_string(port) + "/"}));
  // ffmpeg listens a moment after it starts; a refused attempt costs nothing.
  ASSERT_TRUE(waitUntil([&] {
    if (!decoder->Connected()) connectTo(port);
    return decoder->Connected();
  }));
  events.errors.clear();

  ASSERT_TRUE(waitUntil([&] { return streamEnded(events, *decoder); }, std::chrono::seconds(60)));
  EXPECT_EQ(events.errors, std::vector<std::string>{Status3});
  ASSERT_EQ(events.frames.size(), 30u);
  for (std::size_t i = 0; i < events.frames.size(); ++i) {
    SCOPED_TRACE("frame " + std::to_string(i));
    const TBytes& frame = events.frames[i];
    ASSERT_GE(frame.size(), 4u);
    EXPECT_EQ(frame[0], 0xFF);
    EXPECT_EQ(frame[1], 0xD8);
    EXPECT_EQ(frame[frame.size() - 2], 0xFF);
    EXPECT_EQ(frame[frame.size() - 1], 0xD9);
    TJPEGImage image;
    ASSERT_TRUE(image.load(std::make_shared<const TBytes>(frame)));
    EXPECT_EQ(image.decodeFor(640, 480).size(), QSize(640, 480));
  }
  EXPECT_TRUE(waitUntil([&] { return server.finished(); }));
}

}  // namespace
