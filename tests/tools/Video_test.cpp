#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <chrono>
#include <memory>
#include <thread>

#include "base/Text.h"
#include "tests/tools/PanelSimSupport.h"

namespace {

constexpr const char* Streaming = "GET /?action=streaming HTTP/1.1\r\n";

// A panel-sim serving video on loopback, and a client of it.
class VideoTest : public ::testing::Test {
 protected:
  void serve(std::vector<std::string> extra) {
    std::vector<std::string> args{"serve", "--video", "0", "--bind", "127.0.0.1"};
    args.insert(args.end(), extra.begin(), extra.end());
    m_sim = std::make_unique<TPanelSim>(args);
    m_port = listeningPort(*m_sim, "video");
  }

  // What the workstation sends: the request line, Authorization, the empty line.
  TConnection request(const std::string& credentials = "") {
    TConnection c = connectTo("127.0.0.1", m_port);
    c.send(std::string(Streaming) + "Authorization: Basic " + credentials + "\r\n\r\n");
    return c;
  }

  // The reply's header lines, up to the empty line.
  static std::vector<std::string> readHeader(TConnection& c) {
    std::vector<std::string> lines;
    while (auto line = c.readLine()) {
      if (line->empty()) return lines;
      lines.push_back(*line);
    }
    ADD_FAILURE() << "the header did not end";
    return lines;
  }

  static std::string header(const std::vector<std::string>& lines, const std::string& name) {
    for (const auto& l : lines)
      if (lowerAscii(l.substr(0, l.find(':'))) == lowerAscii(name))
        return trimText(l.substr(l.find(':') + 1));
    return "<none>";
  }

  TPanelSim& sim() { return *m_sim; }
  std::uint16_t m_port = 0;

 private:
  std::unique_ptr<TPanelSim> m_sim;
};

struct TPart {
  std::vector<std::string> headers;
  std::string jpeg;
};

// One part as the workstation cuts it: header lines up to the empty line, then exactly
// Content-Length bytes, then CR LF.
TPart readPart(TConnection& c, const std::string& boundary) {
  TPart part;
  auto first = c.readLine();
  EXPECT_EQ(first.value_or("<closed>"), "--" + boundary);
  std::size_t length = 0;
  while (auto line = c.readLine()) {
    if (line->empty()) break;
    part.headers.push_back(*line);
    if (startsWith(lowerAscii(*line), "content-length:"))
      length = std::stoul(trimText(line->substr(15)));
  }
  part.jpeg = c.readExactly(length);
  EXPECT_EQ(part.jpeg.size(), length);
  EXPECT_EQ(c.readExactly(2), "\r\n");
  return part;
}

struct TJpegSize {
  int width = 0;
  int height = 0;
};

TJpegSize jpegSize(const std::string& bytes) {
  tjhandle tj = tjInitDecompress();
  TJpegSize size;
  int subsampling = 0;
  int colourspace = 0;
  EXPECT_EQ(
      tjDecompressHeader3(tj, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                          &size.width, &size.height, &subsampling, &colourspace),
      0)
      << tjGetErrorStr2(tj);
  tjDestroy(tj);
  return size;
}

bool isWholeJpeg(const std::string& b) {
  return b.size() > 4 && b.substr(0, 2) == "\xFF\xD8" && b.substr(b.size() - 2) == "\xFF\xD9";
}

TEST_F(VideoTest, StreamsWellFormedJpegParts) {
  serve({"--size", "320x240", "--fps", "50"});
  TConnection c = request();
  const auto lines = readHeader(c);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "HTTP/1.1 200 OK");
  const std::string type = header(lines, "Content-Type");
  // The workstation cuts the value at ";" and wants this exactly, without a blank before ";".
  ASSERT_TRUE(startsWith(type, "multipart/x-mixed-replace;boundary=")) << type;
  const std::string boundary = type.substr(type.find('=') + 1);

  std::string previous;
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE("part " + std::to_string(i + 1));
    TPart part = readPart(c, boundary);
    EXPECT_EQ(header(part.headers, "Content-Type"), "image/jpeg");
    EXPECT_EQ(header(part.headers, "Content-Length"), std::to_string(part.jpeg.size()));
    EXPECT_TRUE(isWholeJpeg(part.jpeg));
    TJpegSize size = jpegSize(part.jpeg);
    EXPECT_EQ(size.width, 320);
    EXPECT_EQ(size.height, 240);
    // The counter moves: each frame is a new picture.
    EXPECT_NE(part.jpeg, previous);
    previous = part.jpeg;
  }
  EXPECT_NE(sim().waitForLine(" connected").find("video: client 127.0.0.1:"), std::string::npos);
  c = TConnection();
  EXPECT_NE(sim().waitForLine(" disconnected after ").find("video: client 127.0.0.1:"),
            std::string::npos);
}

// Clients at once each draw on a picture of their own; one after them reuses a picture they
// left, and gets frames of its own size from it.
TEST_F(VideoTest, ServesSeveralClientsAtOnceAndOneAfterThem) {
  serve({"--size", "64x48", "--fps", "50"});
  auto firstPart = [this](TConnection& c) {
    auto lines = readHeader(c);
    EXPECT_FALSE(lines.empty());
    if (lines.empty()) return std::string();
    EXPECT_EQ(lines[0], "HTTP/1.1 200 OK");
    const std::string type = header(lines, "Content-Type");
    return readPart(c, type.substr(type.find('=') + 1)).jpeg;
  };
  {
    TConnection first = request();
    TConnection second = request();
    for (TConnection* c : {&first, &second}) EXPECT_TRUE(isWholeJpeg(firstPart(*c)));
  }
  sim().waitForLine(" disconnected after ");
  TConnection later = request();
  const std::string jpeg = firstPart(later);
  ASSERT_TRUE(isWholeJpeg(jpeg));
  EXPECT_EQ(jpegSize(jpeg).width, 64);
  EXPECT_EQ(jpegSize(jpeg).height, 48);
}

struct TRequestCase {
  const char* guards;
  std::string request;
  std::string statusLine;
};

TEST_F(VideoTest, AnswersEachRequestWithTheRightStatus) {
  serve({"--size", "64x48", "--login", "admin", "--password", "secret"});
  const std::string right = "YWRtaW46c2VjcmV0";  // admin:secret
  const std::vector<TRequestCase> cases = {
      {"the right Basic credentials open the stream",
       std::string(Streaming) + "Authorization: Basic " + right + "\r\n\r\n", "HTTP/1.1 200 OK"},
      {"the scheme name is not case-sensitive",
       std::string(Streaming) + "authorization: basic " + right + "\r\n\r\n", "HTTP/1.1 200 OK"},
      {"the workstation's empty credential when it has no login",
       std::string(Streaming) + "Authorization: Basic \r\n\r\n", "HTTP/1.1 401 Unauthorized"},
      {"no Authorization line", std::string(Streaming) + "\r\n", "HTTP/1.1 401 Unauthorized"},
      {"a wrong password", std::string(Streaming) + "Authorization: Basic YWRtaW46c2VjcmV4\r\n\r\n",
       "HTTP/1.1 401 Unauthorized"},
      {"right bytes under another scheme",
       std::string(Streaming) + "Authorization: Digest " + right + "\r\n\r\n",
       "HTTP/1.1 401 Unauthorized"},
      {"another path", "GET /snapshot HTTP/1.1\r\n\r\n", "HTTP/1.1 404 Not Found"},
      {"another method", "POST /?action=streaming HTTP/1.1\r\n\r\n",
       "HTTP/1.1 405 Method Not Allowed"},
      {"not HTTP at all", "hello\r\n\r\n", "HTTP/1.1 400 Bad Request"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.guards);
    TConnection connection = connectTo("127.0.0.1", m_port);
    connection.send(c.request);
    auto lines = readHeader(connection);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], c.statusLine);
    if (c.statusLine == "HTTP/1.1 401 Unauthorized") {
      EXPECT_EQ(header(lines, "Content-Type"), "text/html");
      EXPECT_TRUE(startsWith(header(lines, "WWW-Authenticate"), "Basic"));
      const std::string body = connection.readUntilClosed();
      EXPECT_EQ(std::to_string(body.size()), header(lines, "Content-Length"));
      EXPECT_NE(body.find("401"), std::string::npos) << body;
    }
  }
}

TEST_F(VideoTest, ContentTypeSwitchReplacesOrDropsTheType) {
  for (const std::string& type : {std::string("text/plain"), std::string("")}) {
    SCOPED_TRACE("--content-type \"" + type + "\"");
    serve({"--size", "64x48", "--content-type", type});
    TConnection c = request();
    auto lines = readHeader(c);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "HTTP/1.1 200 OK");
    EXPECT_EQ(header(lines, "Content-Type"), type.empty() ? "<none>" : type);
  }
}

TEST_F(VideoTest, NoContentLengthSwitchLeavesTheLengthOut) {
  serve({"--size", "64x48", "--fps", "50", "--no-content-length"});
  TConnection c = request();
  auto lines = readHeader(c);
  const std::string type = header(lines, "Content-Type");
  const std::string boundary = "--" + type.substr(type.find('=') + 1);
  EXPECT_EQ(c.readLine().value_or(""), boundary);
  EXPECT_EQ(c.readLine().value_or(""), "Content-Type: image/jpeg");
  EXPECT_EQ(c.readLine().value_or("<closed>"), "");
  // The JPEG follows at once; the next part begins after it.
  std::string body;
  while (body.find(boundary) == std::string::npos) {
    std::string more = c.readExactly(1);
    ASSERT_FALSE(more.empty());
    body += more;
  }
  const std::string jpeg = body.substr(0, body.find(boundary) - 2);
  EXPECT_TRUE(isWholeJpeg(jpeg));
}

TEST_F(VideoTest, StallAfterKeepsTheConnectionOpenWithoutFrames) {
  serve({"--size", "64x48", "--fps", "50", "--stall-after", "2"});
  TConnection c = request();
  sim().waitForLine("stalling after 2 frames");
  // Everything sent is here by now (loopback): the header and two whole parts, nothing more.
  auto lines = readHeader(c);
  const std::string type = header(lines, "Content-Type");
  const std::string boundary = type.substr(type.find('=') + 1);
  for (int i = 0; i < 2; ++i) EXPECT_TRUE(isWholeJpeg(readPart(c, boundary).jpeg));
  EXPECT_EQ(c.readAvailable(), "");
  EXPECT_FALSE(c.peerClosed());
  // The stalled client still ends cleanly when it goes.
  c = TConnection();
  EXPECT_NE(sim().waitForLine("disconnected after 2 frames").find("while stalled"),
            std::string::npos);
}

// Each client's first frame leaves on a tick of the panel's one-per-second clock (the steady
// clock's whole seconds, which this process shares), not when the client happens to connect.
TEST_F(VideoTest, FrameClockSendsTheFirstFrameOnTheNextTickOnly) {
  using namespace std::chrono;
  serve({"--size", "64x48", "--fps", "1", "--frame-clock"});
  for (int client = 0; client < 2; ++client) {
    SCOPED_TRACE("client " + std::to_string(client + 1));
    // Connect away from a tick, so that a frame sent at once would show.
    while (steady_clock::now().time_since_epoch() % seconds(1) < milliseconds(400))
      std::this_thread::sleep_for(milliseconds(20));
    TConnection c = request();
    const std::string wait = sim().waitForLine("us for the next frame tick");
    const long waited = std::stol(wait.substr(wait.find(" waits ") + 7));
    EXPECT_GT(waited, 0);
    EXPECT_LE(waited, 1000000);
    auto lines = readHeader(c);
    const std::string type = header(lines, "Content-Type");
    EXPECT_TRUE(isWholeJpeg(readPart(c, type.substr(type.find('=') + 1)).jpeg));
    // A generous bound: the part left at the tick and crossed loopback.
    EXPECT_LT(steady_clock::now().time_since_epoch() % seconds(1), milliseconds(300));
  }
}

TEST_F(VideoTest, CloseMidFrameCutsThatFrameShort) {
  serve({"--size", "64x48", "--fps", "50", "--close-mid-frame", "2"});
  TConnection c = request();
  auto lines = readHeader(c);
  const std::string type = header(lines, "Content-Type");
  const std::string boundary = type.substr(type.find('=') + 1);
  EXPECT_TRUE(isWholeJpeg(readPart(c, boundary).jpeg));

  EXPECT_EQ(c.readLine().value_or(""), "--" + boundary);
  std::size_t announced = 0;
  while (auto line = c.readLine()) {
    if (line->empty()) break;
    if (startsWith(*line, "Content-Length:")) announced = std::stoul(line->substr(15));
  }
  ASSERT_GT(announced, 0u);
  const std::string rest = c.readUntilClosed();
  EXPECT_GT(rest.size(), 0u);
  EXPECT_LT(rest.size(), announced);
  EXPECT_EQ(rest.substr(0, 2), "\xFF\xD8");
}

}  // namespace
