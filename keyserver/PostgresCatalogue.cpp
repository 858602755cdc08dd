#include "PostgresCatalogue.h"

#include "NameTrigrams.h"
#include "SimilarNames.h"
#include "TextNormaliser.h"

#include <pqxx/pqxx>

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <string_view>
#include <utility>

namespace {

// Held while the tables are made, so that services starting together do not race to make them.
constexpr long schema_lock = 0x4B455944;
constexpr int schema_version = 1;

const char* const schema = R"sql(
CREATE TABLE kestrune_catalogue(version integer NOT NULL);
CREATE TABLE songs(
    id bigserial PRIMARY KEY,
    name text NOT NULL,
    singer text NOT NULL,
    keynote text NOT NULL,
    name_key text NOT NULL,
    singer_key text NOT NULL,
    UNIQUE (name_key, singer_key));
CREATE TABLE song_grams(
    gram text NOT NULL,
    song_id bigint NOT NULL REFERENCES songs(id),
    PRIMARY KEY (gram, song_id));
CREATE TABLE name_gram_counts(gram text PRIMARY KEY, songs bigint NOT NULL);
CREATE TABLE reports(
    id bigserial PRIMARY KEY,
    received_at timestamptz NOT NULL DEFAULT clock_timestamp(),
    name text NOT NULL,
    singer text NOT NULL,
    keynote text NOT NULL,
    process text NOT NULL);
CREATE TABLE wanted(
    id bigserial PRIMARY KEY,
    name text NOT NULL,
    singer text NOT NULL,
    name_key text NOT NULL,
    singer_key text NOT NULL,
    lookups bigint NOT NULL DEFAULT 0,
    sessions bigint NOT NULL DEFAULT 0,
    UNIQUE (name_key, singer_key));
CREATE INDEX wanted_by_asks ON wanted((lookups + sessions), id);
CREATE TABLE proposals(
    wanted_id bigint NOT NULL REFERENCES wanted(id),
    session text NOT NULL,
    keynote text NOT NULL,
    process text NOT NULL,
    received_at timestamptz NOT NULL,
    PRIMARY KEY (wanted_id, session));
)sql";

// The waiting songs with the keynote most of their proposing sessions agree on; ties go to the
// keynote proposed first.
const char* const waiting_query =
    "SELECT w.id, w.name, w.singer, w.lookups, w.sessions, coalesce(p.keynote, ''), coalesce(p.agreeing, 0)"
    " FROM wanted AS w LEFT JOIN (SELECT wanted_id, keynote, count(*) AS agreeing,"
    " row_number() OVER (PARTITION BY wanted_id ORDER BY count(*) DESC, min(received_at), keynote) AS place"
    " FROM proposals GROUP BY wanted_id, keynote) AS p ON p.wanted_id = w.id AND p.place = 1";

using Work = pqxx::dbtransaction;

// PostgreSQL text cannot hold a zero byte and libpq would cut the value there. Catalogue names
// never hold control characters, so a stand-in that is not one of them keeps a name with a zero
// byte from matching a song, as it would not match in any other store.
std::string server_text(const std::string& text)
{
    std::string safe;
    safe.reserve(text.size());
    for (char c : text) {
        if (c == '\0') {
            safe += "\xEF\xBF\xBD";
        } else {
            safe += c;
        }
    }
    return safe;
}

// A text[] literal, since this libpqxx cannot pass arrays as parameters.
std::string array_of(const std::vector<std::string>& items)
{
    std::string literal = "{";
    for (const std::string& item : items) {
        if (literal.size() > 1) {
            literal += ',';
        }
        literal += '"';
        for (char c : server_text(item)) {
            if (c == '"' || c == '\\') {
                literal += '\\';
            }
            literal += c;
        }
        literal += '"';
    }
    return literal + "}";
}

CatalogueSong song_from(const pqxx::row& row)
{
    return CatalogueSong{row[0].as<std::int64_t>(), row[1].as<std::string>(), row[2].as<std::string>(),
                         row[3].as<std::string>()};
}

WaitingSong waiting_from(const pqxx::row& row)
{
    WaitingSong song;
    song.id = row[0].as<std::int64_t>();
    song.name = row[1].as<std::string>();
    song.singer = row[2].as<std::string>();
    song.lookups = row[3].as<std::int64_t>();
    song.sessions = row[4].as<std::int64_t>();
    song.keynote = row[5].as<std::string>();
    song.agreeing = row[6].as<std::int64_t>();
    return song;
}

std::int64_t song_id(Work& work, const std::string& name, const std::string& singer)
{
    const pqxx::result found = work.exec_params(
        "SELECT id FROM songs WHERE name_key = $1 AND singer_key = $2",
        server_text(TextNormaliser::normalise(name)), server_text(TextNormaliser::normalise(singer)));
    return found.empty() ? 0 : found[0][0].as<std::int64_t>();
}

bool forget(Work& work, std::int64_t id)
{
    work.exec_params("DELETE FROM proposals WHERE wanted_id = $1", id);
    return work.exec_params("DELETE FROM wanted WHERE id = $1", id).affected_rows() > 0;
}

std::size_t store_songs(Work& work, const std::vector<CatalogueSong>& songs)
{
    std::size_t added = 0;
    // Counted here and written once in the pieces' order, so that transactions storing songs at
    // the same time take the counters' row locks in one order and cannot deadlock on them.
    std::map<std::string, std::int64_t> new_grams;
    for (const CatalogueSong& song : songs) {
        const std::string name_key = TextNormaliser::normalise(song.name);
        const std::string singer_key = TextNormaliser::normalise(song.singer);
        const pqxx::row stored = work.exec_params1(
            "INSERT INTO songs(name, singer, keynote, name_key, singer_key) VALUES ($1, $2, $3, $4, $5)"
            " ON CONFLICT (name_key, singer_key) DO UPDATE SET name = excluded.name,"
            " singer = excluded.singer, keynote = excluded.keynote RETURNING id, xmax = 0",
            server_text(song.name), server_text(song.singer), server_text(song.keynote),
            server_text(name_key), server_text(singer_key));
        if (stored[1].as<bool>()) {
            ++added;
            const std::vector<std::string> grams = NameTrigrams(name_key).grams();
            work.exec_params("INSERT INTO song_grams(gram, song_id) SELECT unnest($1::text[]), $2",
                             array_of(grams), stored[0].as<std::int64_t>());
            for (const std::string& gram : grams) {
                ++new_grams[server_text(gram)];
            }
        }
        const pqxx::result waiting =
            work.exec_params("SELECT id FROM wanted WHERE name_key = $1 AND singer_key = $2",
                             server_text(name_key), server_text(singer_key));
        if (!waiting.empty()) {
            forget(work, waiting[0][0].as<std::int64_t>());
        }
    }
    for (const auto& [gram, count] : new_grams) {
        work.exec_params("INSERT INTO name_gram_counts(gram, songs) VALUES ($1, $2) ON CONFLICT (gram)"
                         " DO UPDATE SET songs = name_gram_counts.songs + excluded.songs",
                         gram, count);
    }
    return added;
}

// The waiting song's id, put on the list when it is not there; the list keeps its bound.
std::int64_t wanted(Work& work, const std::string& name, const std::string& singer)
{
    const std::string name_key = server_text(TextNormaliser::normalise(name));
    const std::string singer_key = server_text(TextNormaliser::normalise(singer));
    for (;;) {
        const pqxx::result added =
            work.exec_params("INSERT INTO wanted(name, singer, name_key, singer_key) VALUES ($1, $2, $3, $4)"
                             " ON CONFLICT (name_key, singer_key) DO NOTHING RETURNING id",
                             server_text(name), server_text(singer), name_key, singer_key);
        if (!added.empty()) {
            const std::int64_t id = added[0][0].as<std::int64_t>();
            const bool full =
                work.exec_params1("SELECT count(*) > $1 FROM (SELECT 1 FROM wanted LIMIT $2) AS bounded",
                                  CatalogueStore::most_wanted, CatalogueStore::most_wanted + 1)[0]
                    .as<bool>();
            if (full) {
                const pqxx::result least = work.exec_params(
                    "SELECT id FROM wanted WHERE id != $1 ORDER BY lookups + sessions, id LIMIT 1", id);
                if (!least.empty()) {
                    forget(work, least[0][0].as<std::int64_t>());
                }
            }
            return id;
        }
        // Another service added it first; it may also have dropped it again since.
        const pqxx::result there = work.exec_params(
            "SELECT id FROM wanted WHERE name_key = $1 AND singer_key = $2", name_key, singer_key);
        if (!there.empty()) {
            return there[0][0].as<std::int64_t>();
        }
    }
}

} // namespace

class PostgresCatalogue::Link
{
public:
    explicit Link(const std::string& connection_string)
        : connection(connection_string)
    {
    }

    pqxx::connection connection;
};

template <typename Body>
auto PostgresCatalogue::transact(Body body)
{
    std::lock_guard<std::mutex> lock(mutex);
    try {
        if (!link || !link->connection.is_open()) {
            link.reset();
            link = std::make_unique<Link>(connection_string);
        }
        pqxx::work transaction(link->connection);
        auto outcome = body(transaction);
        transaction.commit();
        return outcome;
    } catch (const pqxx::broken_connection& e) {
        link.reset();
        throw std::runtime_error(std::string("the catalogue database is out of reach: ") + e.what());
    } catch (const std::exception&) {
        // A server that shuts down answers the statement in progress with an error before it
        // closes the connection.
        if (link && !link->connection.is_open()) {
            link.reset();
        }
        throw;
    }
}

PostgresCatalogue::PostgresCatalogue(std::string connection_string)
    : connection_string(std::move(connection_string))
{
    try {
        transact([](Work& work) {
            work.exec_params("SELECT pg_advisory_xact_lock($1)", schema_lock);
            if (work.exec("SELECT to_regclass('kestrune_catalogue') IS NULL")[0][0].as<bool>()) {
                if (!work.exec("SELECT to_regclass('songs') IS NULL AND to_regclass('wanted') IS NULL")[0][0]
                         .as<bool>()) {
                    throw CatalogueError("the database holds tables that are not a song catalogue's");
                }
                work.exec(schema);
                work.exec_params("INSERT INTO kestrune_catalogue(version) VALUES ($1)", schema_version);
            } else if (work.exec("SELECT version FROM kestrune_catalogue")[0][0].as<int>() !=
                       schema_version) {
                throw CatalogueError("the database is a song catalogue of another version");
            }
            return 0;
        });
    } catch (const CatalogueError&) {
        throw;
    } catch (const std::exception& e) {
        throw CatalogueError(std::string("cannot open the catalogue database: ") + e.what());
    }
}

PostgresCatalogue::~PostgresCatalogue() = default;

bool PostgresCatalogue::names_database(const std::string& location)
{
    return location.rfind("postgresql://", 0) == 0 || location.rfind("postgres://", 0) == 0;
}

std::vector<CatalogueSong> PostgresCatalogue::find(const std::string& name, const std::string& singer,
                                                   std::size_t limit)
{
    const std::string name_key = TextNormaliser::normalise(name);
    if (name_key.empty() || limit == 0) {
        return {};
    }
    const std::string singer_key = TextNormaliser::normalise(singer);
    return transact([&](Work& work) {
        std::vector<CatalogueSong> found;
        for (const pqxx::row& row : work.exec_params(
                 "SELECT id, name, singer, keynote FROM songs WHERE name_key = $1"
                 " ORDER BY singer_key = $2 DESC, id LIMIT $3",
                 server_text(name_key), server_text(singer_key), static_cast<std::int64_t>(limit))) {
            found.push_back(song_from(row));
        }
        if (!found.empty()) {
            return found;
        }
        SimilarNames similar(name_key, singer_key);
        std::vector<std::pair<std::int64_t, std::string>> counted;
        std::map<std::string, std::string> original;
        for (const std::string& gram : similar.grams()) {
            original[server_text(gram)] = gram;
        }
        for (const pqxx::row& row :
             work.exec_params("SELECT songs, gram FROM name_gram_counts WHERE gram = ANY($1::text[])",
                              array_of(similar.grams()))) {
            counted.emplace_back(row[0].as<std::int64_t>(), original[row[1].as<std::string>()]);
        }
        const std::vector<std::string> searched = SimilarNames::rarest(std::move(counted));
        if (searched.empty()) {
            return found;
        }
        for (const pqxx::row& row :
             work.exec_params("SELECT id, name, singer, keynote, name_key, singer_key FROM songs WHERE id IN"
                              " (SELECT song_id FROM song_grams WHERE gram = ANY($1::text[]))",
                              array_of(searched))) {
            const std::optional<double> score =
                similar.score(std::string_view(row[4].c_str(), row[4].size()),
                              std::string_view(row[5].c_str(), row[5].size()));
            if (score) {
                similar.add(*score, song_from(row));
            }
        }
        return similar.best(limit);
    });
}

std::size_t PostgresCatalogue::store(const std::vector<CatalogueSong>& songs)
{
    if (songs.empty()) {
        return 0;
    }
    return transact([&](Work& work) { return store_songs(work, songs); });
}

std::int64_t PostgresCatalogue::upload(const CatalogueSong& song)
{
    return transact([&](Work& work) {
        store_songs(work, {song});
        return song_id(work, song.name, song.singer);
    });
}

std::vector<CatalogueSong> PostgresCatalogue::songs()
{
    return transact([](Work& work) {
        std::vector<CatalogueSong> all;
        for (const pqxx::row& row : work.exec("SELECT id, name, singer, keynote FROM songs ORDER BY id")) {
            all.push_back(song_from(row));
        }
        return all;
    });
}

void PostgresCatalogue::note_miss(const std::string& name, const std::string& singer)
{
    transact([&](Work& work) {
        work.exec_params("UPDATE wanted SET lookups = lookups + 1 WHERE id = $1", wanted(work, name, singer));
        return 0;
    });
}

ProposalOutcome PostgresCatalogue::propose(const CatalogueSong& song, const std::string& process,
                                           const std::string& session, std::int64_t promote_after)
{
    return transact([&](Work& work) {
        const std::int64_t wanted_id = wanted(work, song.name, song.singer);
        // Proposals for one song take turns, so that of two arriving together at two services
        // the second counts the first and promotes the song when together they are enough.
        work.exec_params("SELECT 1 FROM wanted WHERE id = $1 FOR UPDATE", wanted_id);
        // A session that changes its mind replaces its proposal rather than adding a vote.
        const bool first =
            work.exec_params1("INSERT INTO proposals(wanted_id, session, keynote, process, received_at)"
                              " VALUES ($1, $2, $3, $4, clock_timestamp()) ON CONFLICT (wanted_id, session)"
                              " DO UPDATE SET keynote = excluded.keynote, process = excluded.process,"
                              " received_at = excluded.received_at RETURNING xmax = 0",
                              wanted_id, server_text(session), server_text(song.keynote),
                              server_text(process))[0]
                .as<bool>();
        if (first) {
            work.exec_params("UPDATE wanted SET sessions = sessions + 1 WHERE id = $1", wanted_id);
        }
        ProposalOutcome outcome;
        outcome.agreeing =
            work.exec_params1("SELECT count(*) FROM proposals WHERE wanted_id = $1 AND keynote = $2",
                              wanted_id, server_text(song.keynote))[0]
                .as<std::int64_t>();
        // Sessions are whatever clients say they are, so the crowd may add songs but never
        // overwrite one that is already in the catalogue; corrections stay on the list for a curator.
        if (outcome.agreeing >= promote_after && song_id(work, song.name, song.singer) == 0) {
            store_songs(work, {song});
            outcome.song_id = song_id(work, song.name, song.singer);
        }
        return outcome;
    });
}

std::vector<WaitingSong> PostgresCatalogue::waiting(std::size_t limit)
{
    return transact([&](Work& work) {
        std::vector<WaitingSong> found;
        for (const pqxx::row& row : work.exec_params(
                 waiting_query + std::string(" ORDER BY w.lookups + w.sessions DESC, w.id LIMIT $1"),
                 static_cast<std::int64_t>(std::min<std::size_t>(limit, INT64_MAX)))) {
            found.push_back(waiting_from(row));
        }
        return found;
    });
}

std::int64_t PostgresCatalogue::waiting_id(const std::string& name, const std::string& singer)
{
    return transact([&](Work& work) {
        const pqxx::result found = work.exec_params(
            "SELECT id FROM wanted WHERE name_key = $1 AND singer_key = $2",
            server_text(TextNormaliser::normalise(name)), server_text(TextNormaliser::normalise(singer)));
        return found.empty() ? std::int64_t{0} : found[0][0].as<std::int64_t>();
    });
}

bool PostgresCatalogue::forget_waiting(std::int64_t id)
{
    return transact([&](Work& work) { return forget(work, id); });
}

std::vector<CatalogueSong> PostgresCatalogue::promote_ready(std::int64_t promote_after)
{
    return transact([&](Work& work) {
        std::vector<CatalogueSong> ready;
        for (const pqxx::row& row : work.exec_params(
                 waiting_query +
                     std::string(" WHERE w.sessions >= $1 AND NOT EXISTS (SELECT 1 FROM songs AS s"
                                 " WHERE s.name_key = w.name_key AND s.singer_key = w.singer_key)"
                                 " ORDER BY w.id"),
                 promote_after)) {
            const WaitingSong song = waiting_from(row);
            if (song.agreeing >= promote_after) {
                ready.push_back({0, song.name, song.singer, song.keynote});
            }
        }
        if (!ready.empty()) {
            store_songs(work, ready);
            for (CatalogueSong& song : ready) {
                song.id = song_id(work, song.name, song.singer);
            }
        }
        return ready;
    });
}

void PostgresCatalogue::add_report(const std::string& name, const std::string& singer,
                                   const std::string& keynote, const std::string& process)
{
    transact([&](Work& work) {
        work.exec_params("INSERT INTO reports(name, singer, keynote, process) VALUES ($1, $2, $3, $4)",
                         server_text(name), server_text(singer), server_text(keynote), server_text(process));
        return 0;
    });
}

std::size_t PostgresCatalogue::song_count()
{
    return transact(
        [](Work& work) { return work.exec("SELECT count(*) FROM songs")[0][0].as<std::size_t>(); });
}

std::size_t PostgresCatalogue::report_count()
{
    return transact(
        [](Work& work) { return work.exec("SELECT count(*) FROM reports")[0][0].as<std::size_t>(); });
}
