// Writes journal rows over and over until killed; the crash test kills it at varying instants.
// Row n calls itself "gen-n" and carries a picture made of n's bytes, so a torn row shows.
#include <unistd.h>

#include <QCoreApplication>
#include <cstdlib>
#include <string>

#include "platform/JournalStore.h"
#include "tests/platform/JournalCrashRows.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  QCoreApplication app(argc, argv);
  TJournalStore store(argv[1]);
  if (store.open() != EJournalOpen::Opened) return 3;
  std::int64_t next = static_cast<std::int64_t>(store.rows().size()) + 1;
  for (;; ++next) {
    const auto id = store.insert(crashRow(next));
    if (!id || !store.setPicture(*id, crashPicture(next))) return 4;
    TJournalUpdate watched;
    watched.watchedMs = next;
    if (!store.update(*id, watched)) return 5;
    // One byte per finished row tells the test that the loop is running.
    if (write(STDOUT_FILENO, ".", 1) != 1) return 6;
  }
}
