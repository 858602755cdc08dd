-- Small pages keep the file within the fuzzer's input length.
PRAGMA page_size = 512;
CREATE TABLE cookies (pk_id INTEGER PRIMARY KEY AUTOINCREMENT NOT NULL, cookie_key TEXT UNIQUE NOT NULL,
    cookie_val TEXT, cookie_domain TEXT, cookie_path TEXT, cookie_expires TEXT);
CREATE TABLE local_common_config (local_config_key TEXT UNIQUE, local_config_val TEXT);
INSERT INTO cookies(cookie_key, cookie_val, cookie_domain, cookie_path, cookie_expires) VALUES
    ('kd_session', '0123', '127.0.0.1', '/api', ''),
    ('later', 'abc', '.example.com', '/', 'Wed Dec 9 17:00:00 2099'),
    ('gone', 'x', '127.0.0.1', '/', 'Mon Jan 1 00:00:00 2001'),
    (X'6E616D65FF00', X'76616C7565FE', 'xn--fsq.example', '/a b', 'not a date');
