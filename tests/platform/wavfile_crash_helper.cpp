// Writes the voice message's file over and over until killed; the crash test kills it at
// varying instants. Every sample of one write carries that write's generation.
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/WavFile.h"

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const std::string path = argv[1];
  const std::size_t samples = static_cast<std::size_t>(std::atol(argv[2]));
  for (unsigned generation = 1;; ++generation) {
    const std::string pcm(samples, static_cast<char>(generation % 255 + 1));
    std::string error;
    if (!writeWavFile(path, pcm, &error)) return 3;
    // One byte per finished write tells the test that the loop is running.
    if (write(STDOUT_FILENO, ".", 1) != 1) return 4;
  }
}
