#include "Catalogue.h"

#include "SimilarNames.h"
#include "TextNormaliser.h"

#include <SQLiteCpp/Exception.h>
#include <SQLiteCpp/Transaction.h>
#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>

namespace {

// Marks the file as ours, so that an unrelated database handed over by mistake is left alone.
constexpr int application_id = 0x4B455944;
constexpr int schema_version = 2;
constexpr int busy_timeout_ms = 5000;

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

// Songs users asked for that the catalogue lacks: lookups that found nothing, and proposals. A
// song leaves once it is in the catalogue or a curator drops it.
const char* const waiting_schema = R"sql(
CREATE TABLE wanted(
    id INTEGER PRIMARY KEY,
    name TEXT NOT NULL,
    singer TEXT NOT NULL,
    name_key TEXT NOT NULL,
    singer_key TEXT NOT NULL,
    lookups INTEGER NOT NULL DEFAULT 0,
    sessions INTEGER NOT NULL DEFAULT 0,
    UNIQUE (name_key, singer_key));
CREATE INDEX wanted_by_asks ON wanted(lookups + sessions, id);
CREATE TABLE proposals(
    wanted_id INTEGER NOT NULL,
    session TEXT NOT NULL,
    keynote TEXT NOT NULL,
    process TEXT NOT NULL,
    received_at TEXT NOT NULL,
    PRIMARY KEY (wanted_id, session)) WITHOUT ROWID;
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
            db.exec(waiting_schema);
            db.exec("PRAGMA application_id = " + std::to_string(application_id));
            db.exec("PRAGMA user_version = " + std::to_string(schema_version));
            transaction.commit();
        } else if (pragma_value(db, "application_id") != application_id) {
            throw CatalogueError(path + " is an SQLite database but not a song catalogue");
        } else if (pragma_value(db, "user_version") == 1) {
            SQLite::Transaction transaction(db);
            db.exec(waiting_schema);
            db.exec("PRAGMA user_version = " + std::to_string(schema_version));
            transaction.commit();
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

// The waiting songs with the keynote most of their proposing sessions agree on; ties go to the
// keynote proposed first.
const char* const waiting_query =
    "SELECT w.id, w.name, w.singer, w.lookups, w.sessions, p.keynote, coalesce(p.agreeing, 0)"
    " FROM wanted AS w LEFT JOIN (SELECT wanted_id, keynote, count(*) AS agreeing,"
    " row_number() OVER (PARTITION BY wanted_id ORDER BY count(*) DESC, min(received_at), keynote) AS place"
    " FROM proposals GROUP BY wanted_id, keynote) AS p ON p.wanted_id = w.id AND p.place = 1";

WaitingSong waiting_from(const SQLite::Statement& row)
{
    WaitingSong song;
    song.id = row.getColumn(0).getInt64();
    song.name = row.getColumn(1).getString();
    song.singer = row.getColumn(2).getString();
    song.lookups = row.getColumn(3).getInt64();
    song.sessions = row.getColumn(4).getInt64();
    song.keynote = row.getColumn(5).getString();
    song.agreeing = row.getColumn(6).getInt64();
    return song;
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
    SimilarNames similar(name_key, singer_key);
    const std::vector<std::string> searched = rare_grams(similar.grams());
    if (searched.empty()) {
        return {};
    }
    StatementReset reset(by_grams);
    by_grams.bind(1, any_of(searched));
    while (by_grams.executeStep()) {
        const SQLite::Column candidate_key = by_grams.getColumn(4);
        const SQLite::Column candidate_singer = by_grams.getColumn(5);
        const std::optional<double> score =
            similar.score(std::string_view(candidate_key.getText(), candidate_key.getBytes()),
                          std::string_view(candidate_singer.getText(), candidate_singer.getBytes()));
        if (score) {
            similar.add(*score, song_from(by_grams));
        }
    }
    return similar.best(limit);
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
    return SimilarNames::rarest(std::move(counted));
}

std::size_t Catalogue::store(const std::vector<CatalogueSong>& songs)
{
    if (songs.empty()) {
        return 0;
    }
    std::lock_guard<std::mutex> lock(mutex);
    SQLite::Transaction transaction(db);
    const std::size_t added = store_locked(songs);
    transaction.commit();
    return added;
}

std::size_t Catalogue::store_locked(const std::vector<CatalogueSong>& songs)
{
    const auto before = db.execAndGet("SELECT count(*) FROM songs").getInt64();
    SQLite::Statement upsert(db, "INSERT INTO songs(name, singer, keynote, name_key, singer_key)"
                                 " VALUES (?1, ?2, ?3, ?4, ?5) ON CONFLICT (name_key, singer_key)"
                                 " DO UPDATE SET name = excluded.name, singer = excluded.singer,"
                                 " keynote = excluded.keynote");
    SQLite::Statement no_longer_wanted(db, "SELECT id FROM wanted WHERE name_key = ?1 AND singer_key = ?2");
    for (const CatalogueSong& song : songs) {
        const std::string name_key = TextNormaliser::normalise(song.name);
        const std::string singer_key = TextNormaliser::normalise(song.singer);
        upsert.bind(1, song.name);
        upsert.bind(2, song.singer);
        upsert.bind(3, song.keynote);
        upsert.bind(4, name_key);
        upsert.bind(5, singer_key);
        upsert.exec();
        upsert.reset();
        no_longer_wanted.bind(1, name_key);
        no_longer_wanted.bind(2, singer_key);
        const std::int64_t wanted_id =
            no_longer_wanted.executeStep() ? no_longer_wanted.getColumn(0).getInt64() : 0;
        no_longer_wanted.reset();
        if (wanted_id != 0) {
            forget_locked(wanted_id);
        }
    }
    // One merged index segment instead of many makes each piece's song list a single read.
    db.exec("INSERT INTO songs_fts(songs_fts) VALUES ('optimize');"
            "DELETE FROM name_gram_counts;"
            "INSERT INTO name_gram_counts(gram, songs) SELECT term, doc FROM songs_fts_vocab;");
    const auto after = db.execAndGet("SELECT count(*) FROM songs").getInt64();
    return static_cast<std::size_t>(after - before);
}

std::int64_t Catalogue::upload(const CatalogueSong& song)
{
    std::lock_guard<std::mutex> lock(mutex);
    SQLite::Transaction transaction(db);
    store_locked({song});
    const std::int64_t id = song_id_locked(song.name, song.singer);
    transaction.commit();
    return id;
}

std::int64_t Catalogue::song_id_locked(const std::string& name, const std::string& singer)
{
    SQLite::Statement query(db, "SELECT id FROM songs WHERE name_key = ?1 AND singer_key = ?2");
    query.bind(1, TextNormaliser::normalise(name));
    query.bind(2, TextNormaliser::normalise(singer));
    return query.executeStep() ? query.getColumn(0).getInt64() : 0;
}

std::vector<CatalogueSong> Catalogue::songs()
{
    std::lock_guard<std::mutex> lock(mutex);
    SQLite::Statement query(db, "SELECT id, name, singer, keynote FROM songs ORDER BY id");
    std::vector<CatalogueSong> all;
    while (query.executeStep()) {
        all.push_back(song_from(query));
    }
    return all;
}

void Catalogue::note_miss(const std::string& name, const std::string& singer)
{
    std::lock_guard<std::mutex> lock(mutex);
    SQLite::Transaction transaction(db);
    const std::int64_t id = wanted_locked(name, singer);
    SQLite::Statement count(db, "UPDATE wanted SET lookups = lookups + 1 WHERE id = ?1");
    count.bind(1, id);
    count.exec();
    transaction.commit();
}

ProposalOutcome Catalogue::propose(const CatalogueSong& song, const std::string& process,
                                   const std::string& session, std::int64_t promote_after)
{
    std::lock_guard<std::mutex> lock(mutex);
    SQLite::Transaction transaction(db);
    const std::int64_t wanted_id = wanted_locked(song.name, song.singer);
    SQLite::Statement known(db, "SELECT 1 FROM proposals WHERE wanted_id = ?1 AND session = ?2");
    known.bind(1, wanted_id);
    known.bind(2, session);
    if (!known.executeStep()) {
        SQLite::Statement count(db, "UPDATE wanted SET sessions = sessions + 1 WHERE id = ?1");
        count.bind(1, wanted_id);
        count.exec();
    }
    // A session that changes its mind replaces its proposal rather than adding a vote.
    SQLite::Statement upsert(db, "INSERT INTO proposals(wanted_id, session, keynote, process, received_at)"
                                 " VALUES (?1, ?2, ?3, ?4, strftime('%Y-%m-%dT%H:%M:%fZ', 'now'))"
                                 " ON CONFLICT (wanted_id, session) DO UPDATE SET keynote = excluded.keynote,"
                                 " process = excluded.process, received_at = excluded.received_at");
    upsert.bind(1, wanted_id);
    upsert.bind(2, session);
    upsert.bind(3, song.keynote);
    upsert.bind(4, process);
    upsert.exec();

    SQLite::Statement agreeing(db, "SELECT count(*) FROM proposals WHERE wanted_id = ?1 AND keynote = ?2");
    agreeing.bind(1, wanted_id);
    agreeing.bind(2, song.keynote);
    agreeing.executeStep();
    ProposalOutcome outcome;
    outcome.agreeing = agreeing.getColumn(0).getInt64();
    // Sessions are whatever clients say they are, so the crowd may add songs but never
    // overwrite one that is already in the catalogue; corrections stay on the list for a curator.
    if (outcome.agreeing >= promote_after && song_id_locked(song.name, song.singer) == 0) {
        store_locked({song});
        outcome.song_id = song_id_locked(song.name, song.singer);
    }
    transaction.commit();
    return outcome;
}

std::vector<WaitingSong> Catalogue::waiting(std::size_t limit)
{
    std::lock_guard<std::mutex> lock(mutex);
    SQLite::Statement query(db,
                            waiting_query + std::string(" ORDER BY lookups + sessions DESC, id LIMIT ?1"));
    query.bind(1, static_cast<std::int64_t>(limit));
    std::vector<WaitingSong> found;
    while (query.executeStep()) {
        found.push_back(waiting_from(query));
    }
    return found;
}

bool Catalogue::forget_waiting(std::int64_t id)
{
    std::lock_guard<std::mutex> lock(mutex);
    SQLite::Transaction transaction(db);
    const bool forgotten = forget_locked(id);
    transaction.commit();
    return forgotten;
}

std::int64_t Catalogue::waiting_id(const std::string& name, const std::string& singer)
{
    std::lock_guard<std::mutex> lock(mutex);
    SQLite::Statement query(db, "SELECT id FROM wanted WHERE name_key = ?1 AND singer_key = ?2");
    query.bind(1, TextNormaliser::normalise(name));
    query.bind(2, TextNormaliser::normalise(singer));
    return query.executeStep() ? query.getColumn(0).getInt64() : 0;
}

std::vector<CatalogueSong> Catalogue::promote_ready(std::int64_t promote_after)
{
    std::lock_guard<std::mutex> lock(mutex);
    SQLite::Transaction transaction(db);
    SQLite::Statement query(db, waiting_query + std::string(" WHERE sessions >= ?1 AND NOT EXISTS (SELECT 1"
                                                            " FROM songs AS s WHERE s.name_key = w.name_key"
                                                            " AND s.singer_key = w.singer_key)"));
    query.bind(1, promote_after);
    std::vector<CatalogueSong> ready;
    while (query.executeStep()) {
        const WaitingSong song = waiting_from(query);
        if (song.agreeing >= promote_after) {
            ready.push_back({0, song.name, song.singer, song.keynote});
        }
    }
    query.reset();
    if (!ready.empty()) {
        store_locked(ready);
        for (CatalogueSong& song : ready) {
            song.id = song_id_locked(song.name, song.singer);
        }
    }
    transaction.commit();
    return ready;
}

std::int64_t Catalogue::wanted_locked(const std::string& name, const std::string& singer)
{
    const std::string name_key = TextNormaliser::normalise(name);
    const std::string singer_key = TextNormaliser::normalise(singer);
    SQLite::Statement insert(db,
                             "INSERT INTO wanted(name, singer, name_key, singer_key) VALUES (?1, ?2, ?3, ?4)"
                             " ON CONFLICT (name_key, singer_key) DO NOTHING");
    insert.bind(1, name);
    insert.bind(2, singer);
    insert.bind(3, name_key);
    insert.bind(4, singer_key);
    const bool added = insert.exec() > 0;
    SQLite::Statement query(db, "SELECT id FROM wanted WHERE name_key = ?1 AND singer_key = ?2");
    query.bind(1, name_key);
    query.bind(2, singer_key);
    query.executeStep();
    const std::int64_t id = query.getColumn(0).getInt64();
    if (added && db.execAndGet("SELECT count(*) FROM wanted").getInt64() > most_wanted) {
        SQLite::Statement least(
            db, "SELECT id FROM wanted WHERE id != ?1 ORDER BY lookups + sessions, id LIMIT 1");
        least.bind(1, id);
        if (least.executeStep()) {
            const std::int64_t evicted = least.getColumn(0).getInt64();
            least.reset();
            forget_locked(evicted);
        }
    }
    return id;
}

bool Catalogue::forget_locked(std::int64_t id)
{
    SQLite::Statement proposals(db, "DELETE FROM proposals WHERE wanted_id = ?1");
    proposals.bind(1, id);
    proposals.exec();
    SQLite::Statement wanted(db, "DELETE FROM wanted WHERE id = ?1");
    wanted.bind(1, id);
    return wanted.exec() > 0;
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
