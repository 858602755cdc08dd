-- Small pages keep the file within the fuzzer's input length.
PRAGMA page_size = 512;
CREATE TABLE cookies (pk_id INTEGER PRIMARY KEY AUTOINCREMENT NOT NULL, cookie_key STRING UNIQUE NOT NULL,
    cookie_val STRING, cookie_domain STRING, cookie_path STRING, cookie_expires STRING, note TEXT DEFAULT 'kept');
INSERT INTO cookies(cookie_key, cookie_val, cookie_domain, cookie_path, cookie_expires, note) VALUES
    ('kd_session', 'v', '127.0.0.1', '/api', '', 'mine');
