-- What waits for the factory server: every run, amendment and golden reference
-- is queued in the transaction that archives it, and marked done (sent, or
-- found different on the server) only after the server has committed it.
-- Both tables only grow: a mark is a new row, never a change to the queue.
CREATE TABLE outbox (
    id INTEGER PRIMARY KEY,
    kind TEXT NOT NULL CHECK (kind = 'run' OR kind = 'amendment' OR kind = 'golden'),
    item_uuid TEXT NOT NULL CHECK (length(item_uuid) = 36),
    queued_ms INTEGER NOT NULL,
    UNIQUE (kind, item_uuid)
) STRICT;

CREATE TABLE outbox_done (
    outbox_id INTEGER PRIMARY KEY REFERENCES outbox (id),
    done_ms INTEGER NOT NULL,
    -- 'conflict': the server holds another run under the same UUID; kept
    -- here and there, and never overwritten.
    outcome TEXT NOT NULL CHECK (outcome = 'sent' OR outcome = 'conflict'),
    server TEXT NOT NULL DEFAULT ''
) STRICT;

-- Each try to reach the server, with why it failed (empty: it worked).
CREATE TABLE forward_try (
    id INTEGER PRIMARY KEY,
    tried_ms INTEGER NOT NULL,
    sent INTEGER NOT NULL DEFAULT 0,
    error TEXT NOT NULL DEFAULT ''
) STRICT;

CREATE TRIGGER outbox_kept_on_update BEFORE UPDATE ON outbox
BEGIN SELECT RAISE(ABORT, 'the outbox is never changed'); END;
CREATE TRIGGER outbox_kept_on_delete BEFORE DELETE ON outbox
BEGIN SELECT RAISE(ABORT, 'the outbox is never emptied'); END;
CREATE TRIGGER outbox_done_kept_on_update BEFORE UPDATE ON outbox_done
BEGIN SELECT RAISE(ABORT, 'outbox marks are never changed'); END;

-- What was archived before the outbox existed waits too, golden references
-- first (runs name them), then runs, then their amendments.
INSERT INTO outbox (kind, item_uuid, queued_ms)
    SELECT 'golden', uuid, made_ms FROM golden ORDER BY id;
INSERT INTO outbox (kind, item_uuid, queued_ms)
    SELECT 'run', uuid, ended_ms FROM run ORDER BY id;
INSERT INTO outbox (kind, item_uuid, queued_ms)
    SELECT 'amendment', uuid, made_ms FROM amendment ORDER BY id;
