#include "Catalogue.h"

#include "NameTrigrams.h"
#include "TextNormaliser.h"

#include <SQLiteCpp/Exception.h>
#include <SQLiteCpp/Transaction.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <utility>

namespace {

// Marks the file as ours, so that an unrelated database handed over by mistake is left alone.
constexpr int application_id = 0x4B455944;
constexpr int schema_version = 1;
constexpr int busy_timeout_ms = 5000;

// Below this, names count as different songs; a four-character Chinese title with one
// character changed stays below it, since that is usually another song.
constexpr double least_similarity = 0.55;
// Among similar names, the singer asked for goes first unless another name is clearly closer.
constexpr double singer_bonus = 0.25;
// Caps the candidates a similarity search reads: it searches by the rarest pieces of the asked
// name only, as many as fit, so that a name made of pieces that thousands of songs share cannot
// make one lookup cost more than the TLS handshake in front of it.
constexpr std::int64_t candidate_budget = 384;

const char* const schema = R"sql(
CREATE TABLE songs(
    id INTEGER PRIMARY KEY,
    name TEXT NOT NULL,
    singer TEXT NOT NULL,
    keynote TEXT NOT NULL,
    name_key TEXT NOT NULL,
    singer_key TEXT NOT NULL,
    name_grams TEXT GENERATED ALWAYS AS (' ' || name_key || ' ') VIRTUAL,
    UNIQUE (name_key, singer_key));
CREATE VIRTUAL TABLE songs_fts USING fts5(
    name_grams, content = 'songs', content_rowid = 'id', tokenize = 'trigram', detail = 'none');
CREATE VIRTUAL TABLE songs_fts_vocab USING fts5vocab(songs_fts, 'row');
CREATE TRIGGER songs_after_insert AFTER INSERT ON songs BEGIN
    INSERT INTO songs_fts(rowid, name_grams) VALUES (new.id, new.name_grams);
END;
CREATE TRIGGER songs_after_delete AFTER DELETE ON songs BEGIN
    INSERT INTO songs_fts(songs_fts, rowid, name_grams) VALUES ('delete', old.id, old.name_grams);
END;
CREATE TRIGGER songs_after_rename AFTER UPDATE OF name_key ON songs BEGIN
    INSERT INTO songs_fts(songs_fts, rowid, name_grams) VALUES ('delete', old.id, old.name_grams);
    INSERT INTO songs_fts(rowid, name_grams) VALUES (new.id, new.name_grams);
END;
CREATE TABLE name_gram_counts(gram TEXT PRIMARY KEY, songs INTEGER NOT NULL) WITHOUT ROWID;
CREATE TABLE reports(
    id INTEGER PRIMARY KEY,
    received_at TEXT NOT NULL,
    name TEXT NOT NULL,
    singer TEXT NOT NULL,
    keynote TEXT NOT NULL,
    process TEXT NOT NULL);
)sql";

int pragma_value(SQLite::Database& db, const std::string& name)
{
    return db.execAndGet("PRAGMA " + name).getInt();
}

SQLite::Database open_checked(const std::string& path)
{
    try {
        SQLite::Database db(path, SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE, busy_timeout_ms);
        // Reading comes first: SQLite refuses a foreign file on the first read, before anything
        // could be written to it.
        const int tables = db.execAndGet("SELECT count(*) FROM sqlite_schema").getInt();
        if (tables == 0) {
            SQLite::Transaction transaction(db);
            db.exec(schema);
            db.exec("PRAGMA application_id = " + std::to_string(application_id));
            db.exec("PRAGMA user_version = " + std::to_string(schema_version));
            transaction.commit();
        } else if (pragma_value(db, "application_id") != application_id) {
            throw CatalogueError(path + " is an SQLite database but not a song catalogue");
        } else if (pragma_value(db, "user_version") != schema_version) {
            throw CatalogueError(path + " is a song catalogue of another version");
        }
        // Lookups go on while an import writes.
        db.exec("PRAGMA journal_mode = WAL");
        // Reading index pages straight from the mapping instead of copying them in makes the
        // similarity search about a third faster on a large catalogue.
        db.exec("PRAGMA mmap_size = 1073741824");
        return db;
    } catch (const SQLite::Exception& e) {
        if (e.getErrorCode() == SQLITE_NOTADB) {
            throw CatalogueError(path + " is not an SQLite database");
        }
        throw CatalogueError("cannot open catalogue " + path + ": " + e.what());
    }
}

// A statement left half-run would keep its read snapshot and refuse new bindings, so every use
// resets it on the way out, exceptions included.
class StatementReset
{
public:
    explicit StatementReset(SQLite::Statement& statement)
        : statement(statement)
    {
    }
    ~StatementReset() { statement.tryReset(); }
    StatementReset(const StatementReset&) = delete;
    StatementReset& operator=(const StatementReset&) = delete;

private:
    SQLite::Statement& statement;
};

CatalogueSong song_from(const SQLite::Statement& row)
{
    return CatalogueSong{row.getColumn(0).getInt64(), row.getColumn(1).getString(),
                         row.getColumn(2).getString(), row.getColumn(3).getString()};
}

std::string quoted(const std::string& gram)
{
    std::string text = "\"";
    for (char c : gram) {
        text += c;
        if (c == '"') {
            text += '"';
        }
    }
    return text + '"';
}

std::string any_of(const std::vector<std::string>& grams)
{
    std::string query;
    for (const std::string& gram : grams) {
        query += (query.empty() ? "" : " OR ") + quoted(gram);
    }
    return query;
}

} // namespace

Catalogue::Catalogue(const std::string& path)
    : db(open_checked(path))
    , by_name(db, "SELECT id, name, singer, keynote FROM songs WHERE name_key = ?1"
                  " ORDER BY singer_key = ?2 DESC, id LIMIT ?3")
    , gram_count(db, "SELECT songs FROM name_gram_counts WHERE gram = ?1")
    , by_grams(db, "SELECT s.id, s.name, s.singer, s.keynote, s.name_key, s.singer_key"
                   " FROM songs_fts JOIN songs AS s ON s.id = songs_fts.rowid WHERE songs_fts MATCH ?1")
    , insert_report(db, "INSERT INTO reports(received_at, name, singer, keynote, process)"
                        " VALUES (strftime('%Y-%m-%dT%H:%M:%fZ', 'now'), ?1, ?2, ?3, ?4)")
{
}

std::vector<CatalogueSong> Catalogue::find(const std::string& name, const std::string& singer,
                                           std::size_t limit)
{
    const std::string name_key = TextNormaliser::normalise(name);
    if (name_key.empty() || limit == 0) {
        return {};
    }
    const std::string singer_key = TextNormaliser::normalise(singer);

    std::lock_guard<std::mutex> lock(mutex);
    // One snapshot for all the statements of a lookup, rather than a lock round per statement.
    SQLite::Transaction snapshot(db);
    std::vector<CatalogueSong> found;
    {
        StatementReset reset(by_name);
        by_name.bind(1, name_key);
        by_name.bind(2, singer_key);
        by_name.bind(3, static_cast<std::int64_t>(limit));
        while (by_name.executeStep()) {
            found.push_back(song_from(by_name));
        }
    }
    if (found.empty()) {
        found = find_similar(name_key, singer_key, limit);
    }
    snapshot.commit();
    return found;
}

std::vector<CatalogueSong> Catalogue::find_similar(const std::string& name_key, const std::string& singer_key,
                                                   std::size_t limit)
{
    const NameTrigrams asked(name_key);
    const std::vector<std::string> searched = rare_grams(asked.grams());
    if (searched.empty()) {
        return {};
    }

    std::vector<std::pair<double, CatalogueSong>> scored;
    StatementReset reset(by_grams);
    by_grams.bind(1, any_of(searched));
    while (by_grams.executeStep()) {
        const SQLite::Column candidate_key = by_grams.getColumn(4);
        const double similarity =
            asked.similarity_to(std::string_view(candidate_key.getText(), candidate_key.getBytes()));
        if (similarity < least_similarity) {
            continue;
        }
        const bool same_singer = !singer_key.empty() && by_grams.getColumn(5).getString() == singer_key;
        scored.emplace_back(similarity + (same_singer ? singer_bonus : 0.0), song_from(by_grams));
    }

    std::sort(scored.begin(), scored.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first > b.first : a.second.id < b.second.id;
    });
    std::vector<CatalogueSong> found;
    for (std::size_t i = 0; i < scored.size() && i < limit; ++i) {
        found.push_back(std::move(scored[i].second));
    }
    return found;
}

std::vector<std::string> Catalogue::rare_grams(const std::vector<std::string>& grams)
{
    std::vector<std::pair<std::int64_t, std::string>> counted;
    for (const std::string& gram : grams) {
        StatementReset reset(gram_count);
        gram_count.bind(1, gram);
        if (gram_count.executeStep()) {
            counted.emplace_back(gram_count.getColumn(0).getInt64(), gram);
        }
    }
    std::sort(counted.begin(), counted.end());

    std::vector<std::string> rare;
    std::int64_t candidates = 0;
    for (const auto& [songs, gram] : counted) {
        if (candidates + songs > candidate_budget) {
            break;
        }
        candidates += songs;
        rare.push_back(gram);
    }
    return rare;
}

std::size_t Catalogue::store(const std::vector<CatalogueSong>& songs)
{
    if (songs.empty()) {
        return 0;
    }
    std::lock_guard<std::mutex> lock(mutex);
    SQLite::Transaction transaction(db);
    const auto before = db.execAndGet("SELECT count(*) FROM songs").getInt64();
    SQLite::Statement upsert(db, "INSERT INTO songs(name, singer, keynote, name_key, singer_key)"
                                 " VALUES (?1, ?2, ?3, ?4, ?5) ON CONFLICT (name_key, singer_key)"
                                 " DO UPDATE SET name = excluded.name, singer = excluded.singer,"
                                 " keynote = excluded.keynote");
    for (const CatalogueSong& song : songs) {
        upsert.bind(1, song.name);
        upsert.bind(2, song.singer);
        upsert.bind(3, song.keynote);
        upsert.bind(4, TextNormaliser::normalise(song.name));
        upsert.bind(5, TextNormaliser::normalise(song.singer));
        upsert.exec();
        upsert.reset();
    }
    // One merged index segment instead of many makes each piece's song list a single read.
    db.exec("INSERT INTO songs_fts(songs_fts) VALUES ('optimize');"
            "DELETE FROM name_gram_counts;"
            "INSERT INTO name_gram_counts(gram, songs) SELECT term, doc FROM songs_fts_vocab;");
    const auto after = db.execAndGet("SELECT count(*) FROM songs").getInt64();
    transaction.commit();
    return static_cast<std::size_t>(after - before);
}

void Catalogue::add_report(const std::string& name, const std::string& singer, const std::string& keynote,
                           const std::string& process)
{
    std::lock_guard<std::mutex> lock(mutex);
    StatementReset reset(insert_report);
    insert_report.bind(1, name);
    insert_report.bind(2, singer);
    insert_report.bind(3, keynote);
    insert_report.bind(4, process);
    insert_report.exec();
}

std::size_t Catalogue::song_count()
{
    std::lock_guard<std::mutex> lock(mutex);
    return static_cast<std::size_t>(db.execAndGet("SELECT count(*) FROM songs").getInt64());
}

std::size_t Catalogue::report_count()
{
    std::lock_guard<std::mutex> lock(mutex);
    return static_cast<std::size_t>(db.execAndGet("SELECT count(*) FROM reports").getInt64());
}
