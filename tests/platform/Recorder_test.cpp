// The recorder registry and the clock-driven null recorder the other tests record with.
#include "platform/Recorder.h"

#include <gtest/gtest.h>

#include "platform/NullRecorder.h"
#include "tests/support/Fakes.h"

namespace {

TRecorderBackend backend(const std::string& name, int priority, const IClock& clock,
                         const std::string& samples) {
  return {name, priority, [&clock, samples] {
            auto r = std::make_unique<TNullRecorder>(clock);
            r->setSamples(samples);
            return r;
          }};
}

}  // namespace

TEST(RecorderRegistryTest, ChoosesByNameElseByPriority) {
  TFakeClock clock;
  TRecorderRegistry registry;
  EXPECT_EQ(registry.create(), nullptr) << "nothing registered: no recorder";
  registry.add(backend("low", 1, clock, "L"));
  registry.add(backend("high", 5, clock, "H"));
  registry.add(backend("mid", 3, clock, "M"));
  struct TCase {
    const char* asked;
    const char* sample;  // which backend made it; "" for none
  } cases[] = {{"", "H"}, {"low", "L"}, {"mid", "M"}, {"absent", ""}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.asked);
    std::unique_ptr<IRecorder> r = registry.create(c.asked);
    if (*c.sample == '\0') {
      EXPECT_EQ(r, nullptr);
      continue;
    }
    ASSERT_NE(r, nullptr);
    ASSERT_TRUE(r->start());
    clock.advance(std::chrono::milliseconds(1));
    r->stop();
    EXPECT_EQ(r->pcm(), std::string(8, *c.sample));
  }
  // Registering a name again replaces it rather than adding a second one.
  registry.add(backend("high", 0, clock, "X"));
  EXPECT_EQ(registry.names(), (std::vector<std::string>{"low", "mid", "high"}));
  auto r = registry.create();
  ASSERT_TRUE(r->start());
  clock.advance(std::chrono::milliseconds(1));
  EXPECT_EQ(r->pcm(), std::string(8, 'M'));
}

// Two seconds of the test's clock make 16,000 bytes, frozen at stop; a new start drops them.
TEST(NullRecorderTest, RecordsAtTheByteRateOfTheClock) {
  TFakeClock clock;
  TNullRecorder recorder(clock);
  ASSERT_TRUE(recorder.start());
  clock.advance(std::chrono::seconds(2));
  EXPECT_EQ(recorder.pcm().size(), 16000u);
  recorder.stop();
  clock.advance(std::chrono::seconds(5));
  EXPECT_EQ(recorder.pcm(), std::string(16000, static_cast<char>(kRecordingSilence)));
  ASSERT_TRUE(recorder.start());
  EXPECT_TRUE(recorder.pcm().empty());
  recorder.setSamples("abc");
  clock.advance(std::chrono::microseconds(875));  // 7 samples
  EXPECT_EQ(recorder.pcm(), "abcabca");
}

TEST(NullRecorderTest, AMachineWithoutInputRefusesToStart) {
  TFakeClock clock;
  TNullRecorder recorder(clock);
  recorder.setUnavailable("no sound input device");
  EXPECT_FALSE(recorder.start());
  EXPECT_FALSE(recorder.recording());
  EXPECT_EQ(recorder.error(), "no sound input device");
  clock.advance(std::chrono::seconds(1));
  EXPECT_TRUE(recorder.pcm().empty());
}
