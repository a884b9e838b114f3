// The visitor journal's cost where the user could feel it.
//
// Run:  cmake --preset bench && cmake --build --preset bench --target bench_journal &&
//       QT_QPA_PLATFORM=offscreen build/bench/bench/bench_journal
//
//   InsertOnUiThread: what the UI thread spends recording one call as the station does it (the
//     row at the ring, the first frame of a 1280x720 panel JPEG handed over, the end of the
//     watching), over 1,000 calls into a real journal file; the database work runs on the
//     journal's own thread and is not counted, but its thread competes for the same cores.
//     Counters: median_us and worst_us per call. Goal: worst under 5 ms.
//   WindowOpening: a journal of 10,000 calls, each with a picture and thumbnail; from the
//     user's Ctrl+J (the window made and shown, the file read) to the first paint done, under
//     the offscreen platform. Manual time, milliseconds. Goal: under 200 ms.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QBuffer>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <memory>

#include "core/CallJournal.h"
#include "core/UiTexts.h"
#include "platform/Clock.h"
#include "ui/JournalWindow.h"

namespace {

// A camera-like frame: gradients and edges, not a flat colour that compresses to nothing.
std::vector<unsigned char> panelJpeg(int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  QPainter painter(&image);
  QLinearGradient gradient(0, 0, width, height);
  gradient.setColorAt(0, Qt::darkBlue);
  gradient.setColorAt(1, Qt::yellow);
  painter.fillRect(image.rect(), gradient);
  for (int i = 0; i < 40; ++i) painter.drawText(i * 31 % width, i * 17 % height, "Ostrel 12:00");
  painter.end();
  QByteArray data;
  QBuffer buffer(&data);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "JPEG", 75);
  return {data.begin(), data.end()};
}

class TNoDialogs final : public IDialogs {
 public:
  EDialogResult message(const std::string&, EDialogIcon, EDialogButtons) override {
    return EDialogResult::Ok;
  }
  std::optional<std::string> inputBox(const std::string&, const std::string&,
                                      const std::string&) override {
    return std::nullopt;
  }
};

void InsertOnUiThread(benchmark::State& state) {
  QTemporaryDir dir;
  const auto frame = std::make_shared<const std::vector<unsigned char>>(panelJpeg(1280, 720));
  TSystemClock clock;
  for (auto _ : state) {
    TJournal journal(dir.path().toStdString() + "/journal.sqlite");
    journal.open({});
    journal.flush();
    TCallJournal calls(journal, clock);
    std::vector<double> perCall;
    perCall.reserve(1000);
    for (int i = 0; i < 1000; ++i) {
      const auto start = std::chrono::steady_clock::now();
      calls.callArrived("192.168.1.21", "200@192.168.1.21", "100@192.168.1.10",
                        EJournalOutcome::Shown);
      calls.followStream(true, "192.168.1.21");
      calls.frameShown("192.168.1.21", frame);
      calls.followStream(false, "192.168.1.21");
      perCall.push_back(
          std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
              .count());
      // Calls come seconds apart; a short pause lets the journal's thread work as it would.
      if (i % 10 == 0) QTest::qWait(1);
    }
    journal.flush();
    std::sort(perCall.begin(), perCall.end());
    state.counters["median_us"] = perCall[perCall.size() / 2];
    state.counters["worst_us"] = perCall.back();
    QFile::remove(QString::fromStdString(journal.path()));
  }
}
BENCHMARK(InsertOnUiThread)->Iterations(1)->Unit(benchmark::kMillisecond);

void WindowOpening(benchmark::State& state) {
  setLanguage("EN");
  QTemporaryDir dir;
  const std::string path = dir.path().toStdString() + "/journal.sqlite";
  {
    // Built once: every row with its own picture and a thumbnail, over 14 days and 4 panels.
    TJournalStore store(path);
    store.open();
    const std::vector<unsigned char> picture = panelJpeg(640, 480);
    const std::vector<unsigned char> thumb = makeThumbnail(picture, TJournalStore::ThumbnailSide);
    QSqlDatabase db = QSqlDatabase::database(QSqlDatabase::connectionNames().value(0));
    db.transaction();
    QSqlQuery insert(db);
    insert.prepare(
        "INSERT INTO calls (ring_time, day, panel, calling, called, outcome, watched_ms, "
        "picture, thumbnail, picture_bytes) VALUES (?, ?, ?, ?, ?, 'shown', 12000, ?, ?, ?)");
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    for (int i = 0; i < 10000; ++i) {
      const qint64 at = now - qint64{i} * 120'000;
      insert.addBindValue(at);
      insert.addBindValue(QDateTime::fromMSecsSinceEpoch(at).toString("yyyy-MM-dd"));
      insert.addBindValue(QStringLiteral("192.168.1.%1").arg(20 + i % 4));
      insert.addBindValue(QStringLiteral("visitor-%1@192.168.1.20").arg(i));
      insert.addBindValue(QStringLiteral("100@192.168.1.10"));
      insert.addBindValue(QByteArray(reinterpret_cast<const char*>(picture.data()),
                                     static_cast<int>(picture.size())));
      insert.addBindValue(
          QByteArray(reinterpret_cast<const char*>(thumb.data()), static_cast<int>(thumb.size())));
      insert.addBindValue(static_cast<qint64>(picture.size() + thumb.size()));
      insert.exec();
    }
    insert.finish();
    db.commit();
  }
  TNoDialogs dialogs;
  for (auto _ : state) {
    QElapsedTimer timer;
    timer.start();
    auto window = std::make_unique<TJournalWindow>(path, dialogs, nullptr, nullptr);
    window->showJournal();
    if (!QTest::qWaitForWindowExposed(window.get())) state.SkipWithError("window not exposed");
    window->repaint();
    QApplication::processEvents();
    state.SetIterationTime(static_cast<double>(timer.nsecsElapsed()) / 1e9);
    state.counters["rows"] = window->model()->rowCount();
  }
}
BENCHMARK(WindowOpening)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
