-- Golden references: the known-good cable of each part number, kept with who
-- set it and when. The newest of a part is its golden reference; an older one
-- stays, for the runs that were compared with it.
CREATE TABLE golden (
    id INTEGER PRIMARY KEY,
    uuid TEXT NOT NULL UNIQUE CHECK (length(uuid) = 36),
    part TEXT NOT NULL CHECK (length(part) > 0),
    made_ms INTEGER NOT NULL,
    station TEXT NOT NULL,
    author TEXT NOT NULL,
    -- Where the record came from ("test 001 of /srv/golden.vku").
    source TEXT NOT NULL,
    note TEXT NOT NULL DEFAULT '',
    pin_count INTEGER NOT NULL CHECK (pin_count BETWEEN 1 AND 40),
    connections TEXT NOT NULL,
    record BLOB NOT NULL CHECK (length(record) = 249)
) STRICT;

CREATE INDEX golden_part ON golden (part, id);

CREATE TRIGGER golden_kept_on_update BEFORE UPDATE ON golden
BEGIN SELECT RAISE(ABORT, 'golden references are never changed'); END;
CREATE TRIGGER golden_kept_on_delete BEFORE DELETE ON golden
BEGIN SELECT RAISE(ABORT, 'golden references are never deleted'); END;

-- The golden reference a run was compared with, and the warning that most of
-- its records agreed against the reference, as they were when it was archived.
ALTER TABLE run ADD COLUMN golden_id INTEGER REFERENCES golden (id);
ALTER TABLE run ADD COLUMN majority_warning TEXT NOT NULL DEFAULT '';

-- The failing records of the judged runs, found without reading the others.
CREATE INDEX record_failed ON record (run_id, slot, verdict, pin_count, missing, extra)
    WHERE verdict = 'differs' OR verdict = 'pin-count' OR verdict = 'error';
