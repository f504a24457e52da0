-- The object database ("demo.db"): groups, objects and passenger-counter settings (SQLite;
-- the server's schema is postgresql/objects.sql).
-- The program reads and updates existing rows only; it never creates tables.

CREATE TABLE IF NOT EXISTS groups (
    group_id   INTEGER PRIMARY KEY,
    group_name TEXT NOT NULL DEFAULT ''
);

-- No foreign key on group_id: an object of a missing group is still listed, without a name.
CREATE TABLE IF NOT EXISTS objects (
    object_id         INTEGER PRIMARY KEY,
    object_name       TEXT NOT NULL DEFAULT '',
    group_id          INTEGER NOT NULL DEFAULT 0,
    recorder_type     INTEGER NOT NULL DEFAULT 1,
    recorder_host     TEXT NOT NULL DEFAULT '',
    recorder_port     INTEGER NOT NULL DEFAULT 8000,
    recorder_login    TEXT NOT NULL DEFAULT '',
    recorder_password TEXT NOT NULL DEFAULT ''
);

CREATE INDEX IF NOT EXISTS objects_by_group ON objects (group_id, object_name);
CREATE INDEX IF NOT EXISTS objects_by_name ON objects (object_name);

CREATE TABLE IF NOT EXISTS pascounter_settings (
    object_id   INTEGER NOT NULL,
    channel     TEXT NOT NULL,
    enter_value INTEGER NOT NULL DEFAULT 0,
    exit_value  INTEGER NOT NULL DEFAULT 0,
    trap_x      INTEGER NOT NULL DEFAULT 0,
    trap_y      INTEGER NOT NULL DEFAULT 0,
    trap_w      INTEGER NOT NULL DEFAULT 0,
    version     INTEGER NOT NULL DEFAULT 0,
    PRIMARY KEY (object_id, channel)
);
