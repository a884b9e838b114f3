// Saves the settings store over and over until killed; the crash test kills it at varying
// instants. Every value of one save carries that save's generation number.
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/RegStore.h"

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const std::string path = argv[1];
  const int count = std::atoi(argv[2]);
  const std::string padding(150, 'p');
  for (std::uint32_t generation = 1;; ++generation) {
    TRegStore store(path);
    if (!store.open() || store.damaged()) return 3;
    const std::string text = "gen-" + std::to_string(generation);
    for (int i = 0; i < count; ++i) store.writeString("value" + std::to_string(i), text);
    store.writeString("padding", padding + text);
    store.writeDword("generation", generation);
    if (!store.save()) return 4;
    // One byte per finished save tells the test that the loop is running.
    if (write(STDOUT_FILENO, ".", 1) != 1) return 5;
  }
}
