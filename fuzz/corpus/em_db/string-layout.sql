-- Small pages keep the file within the fuzzer's input length.
PRAGMA page_size = 512;
CREATE TABLE cookies (pk_id INTEGER PRIMARY KEY AUTOINCREMENT NOT NULL, cookie_key STRING UNIQUE NOT NULL,
    cookie_val STRING, cookie_domain STRING, cookie_path STRING, cookie_expires STRING);
CREATE TABLE local_common_config (local_config_key STRING UNIQUE, local_config_val STRING);
INSERT INTO cookies(cookie_key, cookie_val, cookie_domain, cookie_path, cookie_expires) VALUES
    ('kd_session', '0123', '127.0.0.1', '/api', ''), ('n', '1e3', '127.0.0.1', '/', NULL);
