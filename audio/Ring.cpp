#include "audio/Ring.h"

#include <cmath>
#include <numbers>

#include "base/LogSink.h"

std::vector<std::int16_t> synthesiseChime() {
  constexpr int rate = TChime::SampleRate;
  constexpr int toneSamples = rate * TChime::ToneMs / 1000;
  // A few milliseconds of rise so that the tone starts without a click, then a bell-like decay
  // that has faded out before the next tone.
  constexpr int rise = rate * 5 / 1000;
  std::vector<std::int16_t> samples;
  samples.reserve(2 * toneSamples);
  for (double hz : {TChime::FirstHz, TChime::SecondHz}) {
    for (int i = 0; i < toneSamples; ++i) {
      const double t = static_cast<double>(i) / rate;
      const double envelope =
          (i < rise ? static_cast<double>(i) / rise : 1.0) * std::exp(-t * 6.0) *
          (i > toneSamples - rise ? static_cast<double>(toneSamples - i) / rise : 1.0);
      // The fundamental and a soft octave give the bell its colour.
      const double wave = 0.8 * std::sin(2 * std::numbers::pi * hz * t) +
                          0.2 * std::sin(4 * std::numbers::pi * hz * t);
      samples.push_back(static_cast<std::int16_t>(std::lround(wave * envelope * 20000.0)));
    }
  }
  return samples;
}

TRing::TRing(IWaveOutSystem& system) : m_samples(synthesiseChime()) {
  m_player = std::make_unique<TLiveAudioPlayer>(system);
  m_player->setAsync(false);
  m_player->setBufferInternally(false);
  m_player->setBufferCount(2);
  m_player->setPCMFormat(Mono16bit22050Hz);
  // The stream's own volume, so that stop() can silence a chime that is playing out.
  m_player->setOptions(woSetVolume);
  // The chime is one block handed over without a copy, then the end.
  m_player->OnDataPtr = [this](TWaveAudioIO&, void*& buffer, std::uint32_t&, bool& freeIt) {
    if (m_queued) return std::uint32_t{0};
    m_queued = true;
    buffer = m_samples.data();
    freeIt = false;
    return static_cast<std::uint32_t>(m_samples.size() * sizeof(std::int16_t));
  };
  m_player->OnException = [](TWaveAudioIO&, const std::string& text) {
    debugLog("**** Ring: " + text);
  };
}

TRing::~TRing() { m_player.reset(); }

bool TRing::play() {
  if (m_player->Active() || m_player->GetDeviceCount() == 0) return false;
  m_queued = false;
  m_stopped = false;
  try {
    m_player->setVolume(100);
    m_player->setActive(true);
  } catch (const EWaveAudioError& error) {
    debugLog(std::string("**** Ring: ") + error.what());
    return false;
  }
  return m_player->Active();
}

void TRing::stop() {
  if (!m_player->Active() || m_stopped) return;
  m_stopped = true;
  try {
    m_player->setVolume(0);
    m_player->setActive(false);
  } catch (const EWaveAudioError& error) {
    debugLog(std::string("**** Ring: ") + error.what());
  }
}

bool TRing::playing() const { return m_player->Active() && !m_stopped; }
