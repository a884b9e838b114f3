#include "platform/JournalStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <QDateTime>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

struct TOutcomeName {
  EJournalOutcome outcome;
  const char* name;
};
constexpr TOutcomeName OutcomeNames[] = {
    {EJournalOutcome::Shown, "shown"},
    {EJournalOutcome::Waited, "waited"},
    {EJournalOutcome::RejectedCalled, "rejected-called"},
    {EJournalOutcome::RejectedCalling, "rejected-calling"},
    {EJournalOutcome::DroppedWaitOff, "dropped-wait-list-off"},
    {EJournalOutcome::DroppedWaitFull, "dropped-wait-list-full"},
    {EJournalOutcome::NotStarted, "not-started"},
};

const char* const Schema[] = {
    "CREATE TABLE IF NOT EXISTS calls ("
    " id INTEGER PRIMARY KEY,"
    " ring_time INTEGER NOT NULL,"
    " day TEXT NOT NULL,"
    " panel TEXT NOT NULL,"
    " calling TEXT NOT NULL,"
    " called TEXT NOT NULL,"
    " outcome TEXT NOT NULL,"
    " watched_ms INTEGER NOT NULL DEFAULT 0,"
    " door_opened INTEGER NOT NULL DEFAULT 0,"
    " relay_result TEXT NOT NULL DEFAULT '',"
    " voice_sent INTEGER NOT NULL DEFAULT 0,"
    " missed INTEGER NOT NULL DEFAULT 0,"
    " picture BLOB,"
    " thumbnail BLOB,"
    " picture_bytes INTEGER NOT NULL DEFAULT 0)",
    "CREATE INDEX IF NOT EXISTS calls_ring ON calls(ring_time)",
    "CREATE INDEX IF NOT EXISTS calls_day ON calls(day)",
};

std::atomic<unsigned> connectionCounter{0};

QString q(const std::string& text) { return QString::fromStdString(text); }

// SQLite's primary result code, as Qt reports it.
int sqliteCode(const QSqlError& error) { return error.nativeErrorCode().toInt() & 0xff; }

bool isDamage(const QSqlError& error) {
  const int code = sqliteCode(error);
  return code == 11 /* SQLITE_CORRUPT */ || code == 26 /* SQLITE_NOTADB */;
}

std::vector<unsigned char> toBytes(const QByteArray& data) {
  return std::vector<unsigned char>(data.begin(), data.end());
}

QByteArray toArray(const std::vector<unsigned char>& bytes) {
  return QByteArray(reinterpret_cast<const char*>(bytes.data()),
                    static_cast<qsizetype>(bytes.size()));
}

std::string localTime(std::int64_t ms, const char* format) {
  return QDateTime::fromMSecsSinceEpoch(ms).toString(QString::fromLatin1(format)).toStdString();
}

}  // namespace

const char* journalOutcomeName(EJournalOutcome outcome) {
  for (const TOutcomeName& entry : OutcomeNames)
    if (entry.outcome == outcome) return entry.name;
  return "shown";
}

std::optional<EJournalOutcome> journalOutcomeFromName(const std::string& name) {
  for (const TOutcomeName& entry : OutcomeNames)
    if (name == entry.name) return entry.outcome;
  return std::nullopt;
}

std::vector<unsigned char> makeThumbnail(const std::vector<unsigned char>& jpeg, int side) {
  // Not even a JPEG's start: no decoder is asked (it would only complain in the log).
  if (jpeg.size() < 4 || jpeg[0] != 0xFF || jpeg[1] != 0xD8) return {};
  QByteArray data = toArray(jpeg);
  QBuffer input(&data);
  QImageReader reader(&input, "jpeg");
  const QSize size = reader.size();
  if (!size.isValid() || size.isEmpty()) return {};
  // Decoding straight to the small size is far cheaper than a full decode and a scale.
  reader.setScaledSize(size.scaled(side, side, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
  QImage image = reader.read();
  if (image.isNull()) return {};
  QByteArray out;
  QBuffer output(&out);
  output.open(QIODevice::WriteOnly);
  if (!image.save(&output, "JPEG", 80)) return {};
  return toBytes(out);
}

std::string csvField(const std::string& text) {
  std::string out = "\"";
  if (!text.empty() && std::strchr("=+-@", text[0]) != nullptr) out += '\'';
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

TJournalStore::TJournalStore(std::string path)
    : m_path(std::move(path)),
      m_connection(QStringLiteral("ostrel-journal-%1").arg(++connectionCounter)) {}

TJournalStore::~TJournalStore() { close(); }

void TJournalStore::close() {
  if (!QSqlDatabase::contains(m_connection)) return;
  {
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    db.close();
  }
  QSqlDatabase::removeDatabase(m_connection);
  m_open = false;
}

bool TJournalStore::fail(const std::string& what, const QSqlError& error) {
  m_lastError = what + ": " + error.text().toStdString();
  return false;
}

EJournalOpen TJournalStore::open() {
  m_movedAside.clear();
  m_lastError.clear();
  const EAttempt first = attemptOpen();
  if (first == EAttempt::Ok) return EJournalOpen::Opened;
  if (first == EAttempt::Failed) return EJournalOpen::Failed;
  const std::string why = m_lastError;
  if (!moveAside()) return EJournalOpen::Failed;
  if (attemptOpen() != EAttempt::Ok) return EJournalOpen::Failed;
  m_lastError = why;
  return EJournalOpen::Recovered;
}

TJournalStore::EAttempt TJournalStore::attemptOpen() {
  close();
  std::error_code ec;
  const fs::path file(m_path);
  if (file.has_parent_path()) {
    fs::create_directories(file.parent_path(), ec);
    if (ec) {
      m_lastError = "cannot make " + file.parent_path().string() + ": " + ec.message();
      return EAttempt::Failed;
    }
  }
  // Made 0600 before SQLite sees it; its -wal and -shm files take the same mode.
  const int fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    m_lastError = "cannot open " + m_path + ": " + std::strerror(errno);
    return EAttempt::Failed;
  }
  ::fchmod(fd, 0600);
  ::close(fd);

  // An existing file is checked on a read-only connection first: a damaged one must be moved
  // aside exactly as it was, for whoever wants to rescue it.
  EAttempt result = fs::file_size(m_path, ec) > 0 ? checkReadOnly() : EAttempt::Ok;
  if (result == EAttempt::Ok) {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    db.setDatabaseName(q(m_path));
    if (!db.open()) {
      fail("cannot open " + m_path, db.lastError());
      result = isDamage(db.lastError()) ? EAttempt::Damaged : EAttempt::Failed;
    } else {
      QSqlQuery query(db);
      auto run = [&](const char* statement) {
        if (query.exec(QString::fromLatin1(statement))) return true;
        fail(statement, query.lastError());
        result = isDamage(query.lastError()) ? EAttempt::Damaged : EAttempt::Failed;
        return false;
      };
      // auto_vacuum only takes effect on a new file: the space of removed pictures comes back.
      bool ok = run("PRAGMA auto_vacuum = INCREMENTAL") && run("PRAGMA journal_mode = WAL") &&
                run("PRAGMA synchronous = NORMAL") && run("PRAGMA busy_timeout = 2000");
      for (const char* statement : Schema)
        if (ok) ok = run(statement);
      query.finish();
    }
  }
  if (result != EAttempt::Ok) {
    close();
    return result;
  }
  m_open = true;
  return EAttempt::Ok;
}

TJournalStore::EAttempt TJournalStore::checkReadOnly() {
  const QString name = m_connection + QStringLiteral("-check");
  EAttempt result = EAttempt::Ok;
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(q(m_path));
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
    if (!db.open()) {
      fail("cannot open " + m_path, db.lastError());
      result = isDamage(db.lastError()) ? EAttempt::Damaged : EAttempt::Failed;
    } else {
      QSqlQuery query(db);
      if (!query.exec(QStringLiteral("PRAGMA quick_check"))) {
        fail("check", query.lastError());
        result = isDamage(query.lastError()) ? EAttempt::Damaged : EAttempt::Failed;
      } else if (query.next() && query.value(0).toString() != QLatin1String("ok")) {
        m_lastError = "damaged: " + query.value(0).toString().toStdString();
        result = EAttempt::Damaged;
      }
      query.finish();
    }
    db.close();
  }
  QSqlDatabase::removeDatabase(name);
  return result;
}

bool TJournalStore::openForReading() {
  close();
  m_lastError.clear();
  if (!fs::exists(m_path)) {
    m_lastError = "no journal at " + m_path;
    return false;
  }
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    db.setDatabaseName(q(m_path));
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=2000"));
    if (!db.open()) {
      fail("cannot open " + m_path, db.lastError());
    } else {
      m_open = true;
    }
  }
  if (!m_open) close();
  return m_open;
}

bool TJournalStore::moveAside() {
  const std::string stamp = QDateTime::currentDateTime().toString("yyyyMMdd-HHmmss").toStdString();
  std::string target = m_path + ".damaged-" + stamp;
  for (int n = 2; fs::exists(target); ++n)
    target = m_path + ".damaged-" + stamp + "-" + std::to_string(n);
  std::error_code ec;
  fs::rename(m_path, target, ec);
  if (ec) {
    m_lastError = "cannot move the damaged journal aside: " + ec.message();
    return false;
  }
  // The log and index of the damaged file belong with it, never with the new one.
  for (const char* suffix : {"-wal", "-shm"}) {
    std::error_code ignored;
    if (fs::exists(m_path + suffix, ignored)) fs::rename(m_path + suffix, target + suffix, ignored);
  }
  m_movedAside = target;
  return true;
}

std::optional<std::int64_t> TJournalStore::insert(const TJournalEntry& entry) {
  if (!m_open) return std::nullopt;
  QSqlQuery query(QSqlDatabase::database(m_connection, false));
  query.prepare(
      "INSERT INTO calls (ring_time, day, panel, calling, called, outcome) "
      "VALUES (?, ?, ?, ?, ?, ?)");
  query.addBindValue(QVariant::fromValue<qint64>(entry.ringTimeMs));
  query.addBindValue(q(entry.day));
  query.addBindValue(q(entry.panel));
  query.addBindValue(q(entry.calling));
  query.addBindValue(q(entry.called));
  query.addBindValue(QString::fromLatin1(journalOutcomeName(entry.outcome)));
  if (!query.exec()) {
    fail("insert", query.lastError());
    return std::nullopt;
  }
  return query.lastInsertId().toLongLong();
}

bool TJournalStore::update(std::int64_t id, const TJournalUpdate& changes) {
  if (!m_open) return false;
  QStringList sets;
  QVariantList values;
  if (changes.watchedMs) {
    sets << "watched_ms = ?";
    values << QVariant::fromValue<qint64>(*changes.watchedMs);
  }
  if (changes.doorOpened) {
    sets << "door_opened = ?";
    values << (*changes.doorOpened ? 1 : 0);
  }
  if (changes.relayResult) {
    sets << "relay_result = ?";
    values << q(*changes.relayResult);
  }
  if (changes.voiceSent) {
    sets << "voice_sent = ?";
    values << (*changes.voiceSent ? 1 : 0);
  }
  if (changes.missed) {
    sets << "missed = ?";
    values << (*changes.missed ? 1 : 0);
  }
  if (sets.isEmpty()) return true;
  QSqlQuery query(QSqlDatabase::database(m_connection, false));
  query.prepare("UPDATE calls SET " + sets.join(", ") + " WHERE id = ?");
  for (const QVariant& value : values) query.addBindValue(value);
  query.addBindValue(QVariant::fromValue<qint64>(id));
  if (!query.exec()) return fail("update", query.lastError());
  return true;
}

bool TJournalStore::setPicture(std::int64_t id, const std::vector<unsigned char>& jpeg) {
  if (!m_open) return false;
  const std::vector<unsigned char> thumb = makeThumbnail(jpeg, ThumbnailSide);
  QSqlQuery query(QSqlDatabase::database(m_connection, false));
  query.prepare("UPDATE calls SET picture = ?, thumbnail = ?, picture_bytes = ? WHERE id = ?");
  query.addBindValue(toArray(jpeg));
  query.addBindValue(thumb.empty() ? QVariant(QMetaType(QMetaType::QByteArray)) : toArray(thumb));
  query.addBindValue(QVariant::fromValue<qint64>(static_cast<qint64>(jpeg.size() + thumb.size())));
  query.addBindValue(QVariant::fromValue<qint64>(id));
  if (!query.exec()) return fail("picture", query.lastError());
  return true;
}

std::vector<TJournalRow> TJournalStore::rows(const TJournalFilter& filter) const {
  std::vector<TJournalRow> out;
  if (!m_open) return out;
  QString sql =
      "SELECT id, ring_time, day, panel, calling, called, outcome, watched_ms, door_opened, "
      "relay_result, voice_sent, missed, picture_bytes > 0 FROM calls WHERE 1";
  if (!filter.day.empty()) sql += " AND day = :day";
  if (!filter.panel.empty()) sql += " AND panel = :panel";
  sql += " ORDER BY ring_time DESC, id DESC";
  QSqlQuery query(QSqlDatabase::database(m_connection, false));
  query.setForwardOnly(true);
  query.prepare(sql);
  if (!filter.day.empty()) query.bindValue(":day", q(filter.day));
  if (!filter.panel.empty()) query.bindValue(":panel", q(filter.panel));
  if (!query.exec()) return out;
  while (query.next()) {
    TJournalRow row;
    row.id = query.value(0).toLongLong();
    row.entry.ringTimeMs = query.value(1).toLongLong();
    row.entry.day = query.value(2).toString().toStdString();
    row.entry.panel = query.value(3).toString().toStdString();
    row.entry.calling = query.value(4).toString().toStdString();
    row.entry.called = query.value(5).toString().toStdString();
    row.entry.outcome = journalOutcomeFromName(query.value(6).toString().toStdString())
                            .value_or(EJournalOutcome::Shown);
    row.watchedMs = query.value(7).toLongLong();
    row.doorOpened = query.value(8).toInt() != 0;
    row.relayResult = query.value(9).toString().toStdString();
    row.voiceSent = query.value(10).toInt() != 0;
    row.missed = query.value(11).toInt() != 0;
    row.hasPicture = query.value(12).toInt() != 0;
    out.push_back(std::move(row));
  }
  return out;
}

namespace {
std::vector<std::string> column(const QString& connection, const char* sql) {
  std::vector<std::string> out;
  QSqlQuery query(QSqlDatabase::database(connection, false));
  if (!query.exec(QString::fromLatin1(sql))) return out;
  while (query.next()) out.push_back(query.value(0).toString().toStdString());
  return out;
}

std::vector<unsigned char> blob(const QString& connection, const char* sql, std::int64_t id) {
  QSqlQuery query(QSqlDatabase::database(connection, false));
  query.prepare(QString::fromLatin1(sql));
  query.addBindValue(QVariant::fromValue<qint64>(id));
  if (!query.exec() || !query.next()) return {};
  return toBytes(query.value(0).toByteArray());
}
}  // namespace

std::vector<std::string> TJournalStore::days() const {
  if (!m_open) return {};
  return column(m_connection, "SELECT DISTINCT day FROM calls ORDER BY day DESC");
}

std::vector<std::string> TJournalStore::panels() const {
  if (!m_open) return {};
  return column(m_connection, "SELECT DISTINCT panel FROM calls ORDER BY panel");
}

std::vector<unsigned char> TJournalStore::picture(std::int64_t id) const {
  if (!m_open) return {};
  return blob(m_connection, "SELECT picture FROM calls WHERE id = ?", id);
}

std::vector<unsigned char> TJournalStore::thumbnail(std::int64_t id) const {
  if (!m_open) return {};
  return blob(m_connection, "SELECT thumbnail FROM calls WHERE id = ?", id);
}

std::int64_t TJournalStore::pictureBytes() const {
  if (!m_open) return 0;
  QSqlQuery query(QSqlDatabase::database(m_connection, false));
  if (!query.exec("SELECT COALESCE(SUM(picture_bytes), 0) FROM calls") || !query.next()) return 0;
  return query.value(0).toLongLong();
}

TJournalRetention TJournalStore::applyRetention(std::int64_t nowMs, int maxAgeDays,
                                                std::int64_t maxPictureBytes) {
  TJournalRetention removed;
  if (!m_open) return removed;
  QSqlDatabase db = QSqlDatabase::database(m_connection, false);
  db.transaction();
  QSqlQuery query(db);
  query.prepare("DELETE FROM calls WHERE ring_time < ?");
  query.addBindValue(QVariant::fromValue<qint64>(nowMs - std::int64_t{maxAgeDays} * 86'400'000));
  if (query.exec()) removed.rowsRemoved = query.numRowsAffected();

  std::int64_t total = pictureBytes();
  if (total > maxPictureBytes) {
    QSqlQuery oldest(db);
    oldest.setForwardOnly(true);
    std::vector<qint64> ids;
    if (oldest.exec("SELECT id, picture_bytes FROM calls WHERE picture_bytes > 0 "
                    "ORDER BY ring_time, id"))
      while (total > maxPictureBytes && oldest.next()) {
        ids.push_back(oldest.value(0).toLongLong());
        total -= oldest.value(1).toLongLong();
      }
    oldest.finish();
    QSqlQuery clear(db);
    clear.prepare(
        "UPDATE calls SET picture = NULL, thumbnail = NULL, picture_bytes = 0 WHERE id = ?");
    for (qint64 id : ids) {
      clear.addBindValue(id);
      if (clear.exec()) ++removed.picturesRemoved;
    }
  }
  if (!db.commit()) {
    fail("retention", db.lastError());
    db.rollback();
    return {};
  }
  if (removed.rowsRemoved > 0 || removed.picturesRemoved > 0) {
    QSqlQuery vacuum(db);
    vacuum.exec("PRAGMA incremental_vacuum");
    vacuum.exec("PRAGMA wal_checkpoint(TRUNCATE)");
  }
  return removed;
}

bool TJournalStore::exportDay(const std::string& day, const std::string& folder) {
  const std::string csvPath = (fs::path(folder) / ("journal-" + day + ".csv")).string();
  std::ofstream csv(csvPath, std::ios::binary | std::ios::trunc);
  if (!csv) {
    m_lastError = "cannot write " + csvPath + ": " + std::strerror(errno);
    return false;
  }
  csv << "time,panel,calling,called,outcome,watched_s,door_opened,relay_result,voice_sent,"
         "missed,picture\r\n";
  std::vector<TJournalRow> list = rows({day, {}});
  // Oldest first reads naturally in a spreadsheet.
  for (auto row = list.rbegin(); row != list.rend(); ++row) {
    std::string pictureName;
    if (row->hasPicture) {
      pictureName = day + "-" + localTime(row->entry.ringTimeMs, "HHmmss") + "-" +
                    std::to_string(row->id) + ".jpg";
      const std::vector<unsigned char> jpeg = picture(row->id);
      std::ofstream file(fs::path(folder) / pictureName, std::ios::binary | std::ios::trunc);
      file.write(reinterpret_cast<const char*>(jpeg.data()),
                 static_cast<std::streamsize>(jpeg.size()));
      if (!file) {
        m_lastError = "cannot write " + pictureName + ": " + std::strerror(errno);
        return false;
      }
    }
    // Not printf: the user's numeric locale may write a decimal comma into the CSV.
    const std::string watched =
        std::to_string(row->watchedMs / 1000) + "." + std::to_string(row->watchedMs % 1000 / 100);
    csv << csvField(localTime(row->entry.ringTimeMs, "yyyy-MM-dd HH:mm:ss")) << ','
        << csvField(row->entry.panel) << ',' << csvField(row->entry.calling) << ','
        << csvField(row->entry.called) << ',' << csvField(journalOutcomeName(row->entry.outcome))
        << ',' << watched << ',' << (row->doorOpened ? 1 : 0) << ',' << csvField(row->relayResult)
        << ',' << (row->voiceSent ? 1 : 0) << ',' << (row->missed ? 1 : 0) << ','
        << csvField(pictureName) << "\r\n";
  }
  csv.flush();
  if (!csv) {
    m_lastError = "cannot write " + csvPath + ": " + std::strerror(errno);
    return false;
  }
  return true;
}
