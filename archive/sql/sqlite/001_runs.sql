-- Runs, their records and their amendments. Times are UTC milliseconds since
-- 1970; UUIDs are made by the station, in their 36-character text form.
-- Nothing here is ever updated or deleted: corrections are amendments.
-- Lists of allowed words are spelt out with OR: a CHECK with IN and more than
-- two words builds a temporary table for every row written.

CREATE TABLE schema_version (
    version INTEGER PRIMARY KEY,
    applied_ms INTEGER NOT NULL,
    program TEXT NOT NULL
) STRICT;

CREATE TABLE run (
    id INTEGER PRIMARY KEY,
    uuid TEXT NOT NULL UNIQUE CHECK (length(uuid) = 36),
    started_ms INTEGER NOT NULL,
    ended_ms INTEGER NOT NULL CHECK (ended_ms >= started_ms),
    station TEXT NOT NULL,
    operator TEXT NOT NULL,
    source TEXT NOT NULL CHECK (source IN ('upload', 'import')),
    port TEXT NOT NULL DEFAULT '',
    tester_serial TEXT NOT NULL DEFAULT '',
    file_name TEXT NOT NULL DEFAULT '',
    file_sha256 TEXT NOT NULL DEFAULT ''
        CHECK (file_sha256 = '' OR length(file_sha256) = 64),
    lot TEXT NOT NULL DEFAULT '',
    part TEXT NOT NULL DEFAULT '',
    note TEXT NOT NULL DEFAULT '',
    program TEXT NOT NULL,
    reference_label TEXT NOT NULL DEFAULT '',
    -- SHA-256 of the exported record file: the same bytes from the same
    -- tester make a repeat.
    content_sha256 TEXT NOT NULL CHECK (length(content_sha256) = 64),
    repeat_of INTEGER REFERENCES run (id),
    record_count INTEGER NOT NULL CHECK (record_count BETWEEN 0 AND 100),
    empty_count INTEGER NOT NULL CHECK (empty_count BETWEEN 0 AND record_count),
    error_count INTEGER NOT NULL CHECK (error_count BETWEEN 0 AND record_count),
    -- Against the reference; NULL without one.
    same_count INTEGER CHECK (same_count BETWEEN 0 AND record_count),
    differs_count INTEGER CHECK (differs_count BETWEEN 0 AND record_count),
    reference_record BLOB CHECK (reference_record IS NULL OR length(reference_record) = 249),
    CHECK ((reference_record IS NULL) = (same_count IS NULL)),
    CHECK ((same_count IS NULL) = (differs_count IS NULL)),
    CHECK (source = 'import' OR file_name = '')
) STRICT;

CREATE INDEX run_content ON run (content_sha256);

-- The received bytes: the count byte and the used slots, as a record file
-- holds them. Apart from the run's fields, so that lists and counts never
-- read through them.
CREATE TABLE run_block (
    run_id INTEGER PRIMARY KEY REFERENCES run (id),
    record_count INTEGER NOT NULL CHECK (record_count BETWEEN 0 AND 100),
    block BLOB NOT NULL CHECK (length(block) = 1 + 249 * record_count)
) STRICT;

CREATE TABLE record (
    run_id INTEGER NOT NULL REFERENCES run (id),
    slot INTEGER NOT NULL CHECK (slot BETWEEN 0 AND 99),
    pin_count INTEGER NOT NULL CHECK (pin_count BETWEEN 0 AND 255),
    state TEXT NOT NULL CHECK (state = 'ok' OR state = 'empty' OR state = 'error'),
    checksum_ok INTEGER NOT NULL CHECK (checksum_ok IN (0, 1)),
    -- The pin map's groups in its own words ("A01-B01 A02-A03-B02-B03 AGD").
    connections TEXT NOT NULL,
    verdict TEXT CHECK (verdict = 'same' OR verdict = 'differs' OR verdict = 'pin-count' OR
                        verdict = 'error' OR verdict = 'empty'),
    missing TEXT NOT NULL DEFAULT '',
    extra TEXT NOT NULL DEFAULT '',
    PRIMARY KEY (run_id, slot)
) STRICT, WITHOUT ROWID;

CREATE TABLE amendment (
    id INTEGER PRIMARY KEY,
    uuid TEXT NOT NULL UNIQUE CHECK (length(uuid) = 36),
    run_id INTEGER NOT NULL REFERENCES run (id),
    made_ms INTEGER NOT NULL,
    station TEXT NOT NULL,
    author TEXT NOT NULL,
    field TEXT NOT NULL CHECK (field = 'lot' OR field = 'part' OR field = 'operator' OR
                               field = 'note' OR field = 'void'),
    old_value TEXT NOT NULL,
    new_value TEXT NOT NULL CHECK (field <> 'void' OR new_value IN ('0', '1')),
    why TEXT NOT NULL CHECK (length(trim(why)) > 0)
) STRICT;

CREATE INDEX amendment_run ON amendment (run_id, field, id);

-- Archived rows stay as they were written.
CREATE TRIGGER run_kept_on_update BEFORE UPDATE ON run
BEGIN SELECT RAISE(ABORT, 'archived runs are never changed'); END;
CREATE TRIGGER run_kept_on_delete BEFORE DELETE ON run
BEGIN SELECT RAISE(ABORT, 'archived runs are never deleted'); END;
CREATE TRIGGER run_block_kept_on_update BEFORE UPDATE ON run_block
BEGIN SELECT RAISE(ABORT, 'archived bytes are never changed'); END;
CREATE TRIGGER run_block_kept_on_delete BEFORE DELETE ON run_block
BEGIN SELECT RAISE(ABORT, 'archived bytes are never deleted'); END;
CREATE TRIGGER record_kept_on_update BEFORE UPDATE ON record
BEGIN SELECT RAISE(ABORT, 'archived records are never changed'); END;
CREATE TRIGGER record_kept_on_delete BEFORE DELETE ON record
BEGIN SELECT RAISE(ABORT, 'archived records are never deleted'); END;
CREATE TRIGGER amendment_kept_on_update BEFORE UPDATE ON amendment
BEGIN SELECT RAISE(ABORT, 'amendments are never changed'); END;
CREATE TRIGGER amendment_kept_on_delete BEFORE DELETE ON amendment
BEGIN SELECT RAISE(ABORT, 'amendments are never deleted'); END;
