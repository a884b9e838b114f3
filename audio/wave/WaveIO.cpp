#include "audio/wave/WaveIO.h"

#include <QtGlobal>
#include <cstdlib>

namespace {

// A wait for the device that outlives this is a device that no longer answers.
constexpr std::chrono::seconds kDeviceWait(10);

}  // namespace

TWaveAudioIO::TWaveAudioIO(IWaveOutSystem& system)
    : m_system(system), m_ownerThread(QThread::currentThread()) {}

TWaveAudioIO::~TWaveAudioIO() {
  // The derived destructor has shut down; this only collects what is left.
  if (m_callback) m_callback->stop();
  m_callback.reset();
  ReapRetired();
  ReleaseAllBuffers();
}

void TWaveAudioIO::setBufferLength(uint16_t ms) { m_bufferLength = ms < 10 ? 10 : ms; }

void TWaveAudioIO::setBufferCount(uint16_t count) {
  std::lock_guard lock(m_lock);
  m_bufferCount = count;
}

void TWaveAudioIO::setAsync(bool async) {
  if (!Active()) m_async = async;
}

void TWaveAudioIO::setActive(bool active) {
  if (active == Active()) return;
  if (active)
    OpenDevice();
  else
    CloseDevice();
}

unsigned TWaveAudioIO::GetDeviceCount() const { return m_system.deviceCount(); }

std::string TWaveAudioIO::GetDeviceName() const {
  TWaveOutCaps caps;
  return m_system.capabilities(m_deviceId, caps) == kWaveOk ? caps.productName : std::string();
}

uint32_t TWaveAudioIO::GetDeviceFormats() const {
  TWaveOutCaps caps;
  return m_system.capabilities(m_deviceId, caps) == kWaveOk ? caps.formats : 0;
}

std::string TWaveAudioIO::GetErrorText(uint32_t code) const {
  std::string text = m_system.errorText(code);
  if (text.size() > 255) text.resize(255);
  return text;
}

TWaveFormat TWaveAudioIO::WaveFormat() const {
  std::lock_guard lock(m_lock);
  return m_waveFormat;
}

uint32_t TWaveAudioIO::ValidateDeviceID(int id) const {
  TWaveOutCaps caps;
  return m_system.capabilities(id, caps);
}

void TWaveAudioIO::HandleOutputOpened() { DoActivate(); }

void TWaveAudioIO::HandleOutputClosed() { DoDeactivate(); }

void TWaveAudioIO::StartFeeding() {
  if (m_buffers.empty() && IsDeviceOpen() && !m_closing) PostRequest();
}

void TWaveAudioIO::ReleaseAllBuffers() {
  while (!m_buffers.empty()) {
    TWaveHeader& header = *m_buffers.back();
    if (header.user == this) std::free(header.data);
    m_buffers.pop_back();
  }
  m_queuedBytes = 0;
}

void TWaveAudioIO::DoActivate() {
  m_opening = false;
  StartFeeding();
  FireActivate();
}

void TWaveAudioIO::DoDeactivate() {
  DoLevel(nullptr, 0);
  m_closing = false;
  DestroyCallbackTarget();
  ReleaseAllBuffers();
  Bump();
  if (!m_destroying) FireDeactivate();
}

void TWaveAudioIO::FireActivate() {
  if (OnActivate) OnActivate(*this);
}

void TWaveAudioIO::FireDeactivate() {
  if (OnDeactivate) OnDeactivate(*this);
}

void TWaveAudioIO::FirePause() {
  if (OnPause) OnPause(*this);
}

void TWaveAudioIO::FireResume() {
  if (OnResume) OnResume(*this);
}

void TWaveAudioIO::DoError() {
  if (OnError) {
    OnError(*this);
    return;
  }
  throw EWaveAudioSysError(GetErrorText(m_lastError));
}

void TWaveAudioIO::DoLevel(const void* data, uint32_t size) {
  if (!OnLevel || m_destroying || m_waveFormat.wFormatTag != kWaveFormatPcm) return;
  OnLevel(*this, PeakLevelPercent(data, size, m_waveFormat));
}

void TWaveAudioIO::DoFilter(void* data, uint32_t size) {
  if (OnFilter) OnFilter(*this, data, size);
}

bool TWaveAudioIO::Succeeded(uint32_t code) {
  m_lastError = code;
  if (code == kWaveOk) return true;
  DoError();
  return false;
}

void TWaveAudioIO::CreateCallbackTarget() {
  auto dispatch = [this](const TWaveNotice& notice) { Dispatch(notice); };
  auto posted = [this] { Bump(); };
  if (m_async)
    m_callback = std::make_unique<TWaveThreadCallback>(dispatch, posted);
  else
    m_callback = std::make_unique<TWaveWindowCallback>(m_ownerThread, dispatch, posted);
  m_active = true;
}

void TWaveAudioIO::DestroyCallbackTarget() {
  if (!m_callback) return;
  // Possibly from inside one of its own dispatches: stop it now, end its thread later.
  m_callback->stop();
  m_retired.push_back(std::move(m_callback));
  m_active = false;
  Bump();
}

void TWaveAudioIO::PostRequest() {
  if (m_callback) m_callback->post({TWaveNotice::EKind::Done, nullptr});
}

bool TWaveAudioIO::InOwnHandler() const {
  return m_dispatchDepth > 0 && m_dispatchThread.load() == std::this_thread::get_id();
}

bool TWaveAudioIO::WaitPumping(const std::function<bool()>& done,
                               std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    uint64_t seen = 0;
    {
      std::lock_guard lock(m_waitMutex);
      seen = m_generation;
    }
    if (done()) return true;
    if (InOwnHandler()) return false;
    bool pumped = false;
    {
      std::unique_lock lock(m_lock);
      if (m_callback) pumped = m_callback->pumpHere();
    }
    if (pumped && done()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::unique_lock lock(m_waitMutex);
    m_waitChanged.wait_until(lock, deadline, [&] { return m_generation != seen; });
  }
}

void TWaveAudioIO::ReapRetired() {
  std::vector<std::unique_ptr<TWaveCallback>> retired;
  {
    std::lock_guard lock(m_lock);
    retired.swap(m_retired);
  }
  retired.clear();  // joins their threads, which may still be finishing a dispatch
}

void TWaveAudioIO::Shutdown() {
  m_destroying = true;
  try {
    setActive(false);
  } catch (const EWaveAudioError&) {
  }
  if (!WaitPumping([this] { return !Active(); }, kDeviceWait)) {
    // The device never answered: stop listening to it and drop what it still holds.
    std::lock_guard lock(m_lock);
    qWarning("wave-out: the device did not close; its buffers are dropped");
    ForgetDevice();
    DestroyCallbackTarget();
    ReleaseAllBuffers();
  }
  ReapRetired();
}

TWaveHeader* TWaveAudioIO::AddBuffer() {
  try {
    m_buffers.push_back(std::make_unique<TWaveHeader>());
    return m_buffers.back().get();
  } catch (const std::bad_alloc&) {
    Succeeded(kWaveErrNoMem);
    return nullptr;
  }
}

void TWaveAudioIO::FreeBuffer(TWaveHeader* header) {
  for (auto it = m_buffers.begin(); it != m_buffers.end(); ++it) {
    if (it->get() != header) continue;
    if (header->user == this) std::free(header->data);
    m_buffers.erase(it);
    return;
  }
}

void TWaveAudioIO::Dispatch(const TWaveNotice& notice) {
  std::lock_guard lock(m_lock);
  const std::thread::id outer = m_dispatchThread;
  m_dispatchThread = std::this_thread::get_id();
  ++m_dispatchDepth;
  try {
    switch (notice.kind) {
      case TWaveNotice::EKind::Opened:
        HandleOutputOpened();
        break;
      case TWaveNotice::EKind::Done:
        HandleOutputDone(notice.header);
        break;
      case TWaveNotice::EKind::Closed:
        HandleOutputClosed();
        break;
    }
  } catch (const std::exception& error) {
    ReportException(error.what());
  } catch (...) {
    ReportException("unknown error");
  }
  --m_dispatchDepth;
  m_dispatchThread = outer;
  Bump();
}

void TWaveAudioIO::ReportException(const std::string& text) {
  try {
    if (OnException)
      OnException(*this, text);
    else
      qWarning("wave-out: %s", text.c_str());
  } catch (...) {
    // A failing report must not stop the callback context.
  }
}

void TWaveAudioIO::Bump() {
  {
    std::lock_guard lock(m_waitMutex);
    ++m_generation;
  }
  m_waitChanged.notify_all();
}
