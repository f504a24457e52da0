-- Automatic download tasks: in "tasks.db", or in the object database when the installation
-- shares one database for both. Times are seconds since 1970-01-01 UTC; an unset progress
-- time is NULL. Status 1 and 2 are the states that are picked up;
-- 3 done, 4 partly done, 5 failed, 6 cancelled.

CREATE TABLE IF NOT EXISTS autodownload_tasks (
    id                   INTEGER PRIMARY KEY AUTOINCREMENT,
    object_id            INTEGER NOT NULL,
    type                 INTEGER NOT NULL DEFAULT 0,
    start_time           INTEGER NOT NULL,
    stop_time            INTEGER NOT NULL,
    "current_time"       INTEGER,
    channels             TEXT NOT NULL DEFAULT '',
    pascount_enabled     BOOLEAN NOT NULL DEFAULT 0,
    autodeletion_enabled BOOLEAN NOT NULL DEFAULT 0,
    status               INTEGER NOT NULL DEFAULT 1,
    -- The shared queue: the workstation working on the task and when its claim ends
    -- (milliseconds since 1970 UTC, the database's clock), how far each channel is fetched,
    -- why it failed, how much of the interval the recorder did not have. Older databases get
    -- them when a workstation first opens the queue.
    holder               TEXT,
    lease_expiry         INTEGER,
    channel_progress     TEXT,
    reason               TEXT,
    missing_seconds      INTEGER
);

CREATE INDEX IF NOT EXISTS autodownload_tasks_pending
    ON autodownload_tasks (object_id, status, id);
CREATE INDEX IF NOT EXISTS autodownload_tasks_match
    ON autodownload_tasks (object_id, type, start_time, stop_time);
