-- Small pages keep the file within the fuzzer's input length.
PRAGMA page_size = 512;
PRAGMA journal_mode = WAL;
CREATE TABLE cookies (pk_id INTEGER PRIMARY KEY, cookie_key TEXT, cookie_val TEXT, cookie_domain TEXT,
    cookie_path TEXT, cookie_expires TEXT);
INSERT INTO cookies(cookie_key, cookie_val, cookie_domain, cookie_path, cookie_expires) VALUES
    ('kd_session', 'old', '127.0.0.1', '/api', ''), ('kd_session', 'new', '127.0.0.1', '/api', ''),
    (NULL, NULL, NULL, NULL, NULL);
