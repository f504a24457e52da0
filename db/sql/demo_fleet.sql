-- The demonstration fleet: four recorders on loopback, all in group 0.
-- @ENCIPHER:text@ is replaced by the enciphered form of text when the database is built.

INSERT INTO groups (group_id, group_name) VALUES (0, 'DVR');

INSERT INTO objects (object_id, object_name, group_id, recorder_type, recorder_host,
                     recorder_port, recorder_login, recorder_password)
VALUES
    (1, 'Автобус 101',  0, 1, '127.0.0.2', 8000, 'admin', '@ENCIPHER:demo12345@'),
    (2, 'Автобус 102',  0, 1, '127.0.0.3', 8000, 'admin', '@ENCIPHER:demo12345@'),
    (3, 'Трамвай 7',    0, 1, '127.0.0.4', 8000, 'admin', '@ENCIPHER:demo12345@'),
    (4, 'Маршрутка 15', 0, 1, '127.0.0.5', 8000, 'admin', '@ENCIPHER:demo12345@');
