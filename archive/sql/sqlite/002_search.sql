-- Finding runs: newest first by lot, part, station, operator or tester, and by
-- day for yields; the amended values of a field by their new value; the
-- counted runs and their records from an index alone.

CREATE INDEX run_started ON run (started_ms);
CREATE INDEX run_lot ON run (lot, started_ms);
CREATE INDEX run_part ON run (part, started_ms);
CREATE INDEX run_station ON run (station, started_ms);
CREATE INDEX run_operator ON run (operator, started_ms);
CREATE INDEX run_tester ON run (tester_serial, started_ms);
CREATE INDEX amendment_value ON amendment (field, new_value);
CREATE INDEX run_counted ON run (repeat_of, record_count);
