-- Small pages keep the file within the fuzzer's input length.
PRAGMA page_size = 512;
PRAGMA application_id = 1263813956;
CREATE TABLE songs (id INTEGER PRIMARY KEY, name TEXT);
CREATE VIEW cookies AS SELECT 1 AS cookie_key, 2 AS cookie_val, 3 AS cookie_domain, 4 AS cookie_path, 5 AS cookie_expires;
