-- The factory's shared archive: every station's runs, records, amendments and
-- golden references, as the stations forwarded them. Times are timestamptz
-- (UTC), identifiers the stations' own UUIDs. Rows are only ever added: the
-- stations' role may insert and read, the readers' role only read, and
-- triggers refuse changes from anyone else too.

CREATE TABLE schema_version (
    version integer PRIMARY KEY,
    applied_at timestamptz NOT NULL DEFAULT now(),
    program text NOT NULL
);

CREATE TABLE golden (
    uuid uuid PRIMARY KEY,
    part text NOT NULL CHECK (length(part) > 0),
    made_at timestamptz NOT NULL,
    station text NOT NULL,
    author text NOT NULL,
    source text NOT NULL,
    note text NOT NULL DEFAULT '',
    pin_count smallint NOT NULL CHECK (pin_count BETWEEN 1 AND 40),
    connections text NOT NULL,
    record bytea NOT NULL CHECK (length(record) = 249),
    received_at timestamptz NOT NULL DEFAULT now(),
    sent_by text NOT NULL DEFAULT current_user
);
CREATE INDEX golden_part ON golden (part, made_at);

CREATE TABLE run (
    uuid uuid PRIMARY KEY,
    started_at timestamptz NOT NULL,
    ended_at timestamptz NOT NULL CHECK (ended_at >= started_at),
    station text NOT NULL,
    operator text NOT NULL,
    source text NOT NULL CHECK (source IN ('upload', 'import')),
    port text NOT NULL DEFAULT '',
    tester_serial text NOT NULL DEFAULT '',
    file_name text NOT NULL DEFAULT '',
    file_sha256 text NOT NULL DEFAULT '',
    lot text NOT NULL DEFAULT '',
    part text NOT NULL DEFAULT '',
    note text NOT NULL DEFAULT '',
    program text NOT NULL,
    reference_label text NOT NULL DEFAULT '',
    reference_record bytea CHECK (reference_record IS NULL OR length(reference_record) = 249),
    content_sha256 text NOT NULL CHECK (length(content_sha256) = 64),
    repeat_of uuid,
    record_count smallint NOT NULL CHECK (record_count BETWEEN 0 AND 100),
    empty_count smallint NOT NULL,
    error_count smallint NOT NULL,
    same_count smallint,
    differs_count smallint,
    golden uuid REFERENCES golden (uuid),
    majority_warning text NOT NULL DEFAULT '',
    -- The count byte and the used slots, as the station received them.
    block bytea NOT NULL CHECK (length(block) = 1 + 249 * record_count),
    -- The station's fingerprint of every value above and of the records: a
    -- second copy under the same UUID is the same run only when it agrees.
    digest text NOT NULL CHECK (length(digest) = 64),
    received_at timestamptz NOT NULL DEFAULT now(),
    sent_by text NOT NULL DEFAULT current_user
);
CREATE INDEX run_started ON run (started_at);
CREATE INDEX run_lot ON run (lot, started_at);
CREATE INDEX run_part ON run (part, started_at);
CREATE INDEX run_station ON run (station, started_at);
CREATE INDEX run_operator ON run (operator, started_at);
CREATE INDEX run_tester ON run (tester_serial, started_at);

-- Records come only with their run, in the transaction that adds it; a
-- foreign key checked row by row would cost most of a forwarding's time.
CREATE TABLE record (
    run_uuid uuid NOT NULL,
    slot smallint NOT NULL CHECK (slot BETWEEN 0 AND 99),
    pin_count smallint NOT NULL,
    state text NOT NULL CHECK (state IN ('ok', 'empty', 'error')),
    checksum_ok boolean NOT NULL,
    connections text NOT NULL,
    verdict text CHECK (verdict IN ('same', 'differs', 'pin-count', 'error', 'empty')),
    missing text NOT NULL DEFAULT '',
    extra text NOT NULL DEFAULT '',
    PRIMARY KEY (run_uuid, slot)
);

CREATE TABLE amendment (
    uuid uuid PRIMARY KEY,
    run_uuid uuid NOT NULL REFERENCES run (uuid),
    made_at timestamptz NOT NULL,
    station text NOT NULL,
    author text NOT NULL,
    field text NOT NULL CHECK (field IN ('lot', 'part', 'operator', 'note', 'void')),
    old_value text NOT NULL,
    new_value text NOT NULL,
    why text NOT NULL CHECK (length(trim(why)) > 0),
    -- The amendment's place among its station's: two made in the same
    -- millisecond keep their order.
    station_seq bigint NOT NULL,
    received_at timestamptz NOT NULL DEFAULT now(),
    sent_by text NOT NULL DEFAULT current_user
);
CREATE INDEX amendment_run ON amendment (run_uuid, field, made_at, station_seq);
CREATE INDEX amendment_value ON amendment (field, new_value);

-- A station's run whose UUID the server holds with other content: both are
-- kept, the server's untouched, and the station says so in its status.
CREATE TABLE run_conflict (
    run_uuid uuid NOT NULL,
    digest text NOT NULL,
    station text NOT NULL,
    reported_at timestamptz NOT NULL DEFAULT now(),
    sent_by text NOT NULL DEFAULT current_user,
    PRIMARY KEY (run_uuid, digest)
);

CREATE FUNCTION vark_kept() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    RAISE EXCEPTION 'archived rows of % are never changed or deleted', TG_TABLE_NAME;
END $$;
CREATE TRIGGER golden_kept BEFORE UPDATE OR DELETE ON golden
    FOR EACH ROW EXECUTE FUNCTION vark_kept();
CREATE TRIGGER run_kept BEFORE UPDATE OR DELETE ON run
    FOR EACH ROW EXECUTE FUNCTION vark_kept();
CREATE TRIGGER record_kept BEFORE UPDATE OR DELETE ON record
    FOR EACH ROW EXECUTE FUNCTION vark_kept();
CREATE TRIGGER amendment_kept BEFORE UPDATE OR DELETE ON amendment
    FOR EACH ROW EXECUTE FUNCTION vark_kept();
CREATE TRIGGER run_conflict_kept BEFORE UPDATE OR DELETE ON run_conflict
    FOR EACH ROW EXECUTE FUNCTION vark_kept();

-- The two roles; people and stations log in as members of them.
DO $$
BEGIN
    IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'vark_station') THEN
        CREATE ROLE vark_station NOLOGIN;
    END IF;
    IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'vark_reader') THEN
        CREATE ROLE vark_reader NOLOGIN;
    END IF;
END $$;
-- Stations stage each batch in temporary tables.
DO $$
BEGIN
    EXECUTE format('GRANT TEMPORARY ON DATABASE %I TO vark_station', current_database());
END $$;
REVOKE ALL ON schema_version, golden, run, record, amendment, run_conflict FROM PUBLIC;
GRANT SELECT, INSERT ON golden, run, record, amendment, run_conflict TO vark_station;
GRANT SELECT ON schema_version TO vark_station;
GRANT SELECT ON schema_version, golden, run, record, amendment, run_conflict TO vark_reader;
