#pragma once

#include <atomic>
#include <string>

// What a voice message's POST body holds once its two encodings and its Base64 are undone.
struct TReceivedVoiceMessage {
  bool ok = false;
  std::string why;  // when not ok: what is wrong with it
  std::string wav;  // the file's bytes
  int sampleRate = 0;
  int channels = 0;
  int bitsPerSample = 0;
  double seconds = 0;
};

// Reads the form body "pl=<payload>[&...]" of POST /api/audio/: the payload form-encoded and
// then field-encoded, a JSON object whose "data" member is the Base64 text of a RIFF WAVE file
// in PCM. Pure: the tests give it bodies.
TReceivedVoiceMessage readVoiceMessage(const std::string& formBody);

// Keeps the voice messages a panel receives: each is written to DIR/voice-N.wav and its length
// logged; with play, handed to paplay on this machine's sound output. Shared by the API's
// client threads.
class TVoiceInbox {
 public:
  TVoiceInbox(std::string folder, bool play);
  // Returns the reading; a message that is not ok is neither written nor played.
  TReceivedVoiceMessage receive(const std::string& formBody, unsigned long requestNumber);

 private:
  std::string m_folder;
  bool m_play;
};
