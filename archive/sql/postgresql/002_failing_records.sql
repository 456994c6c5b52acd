-- The failing records alone, for the failure Paretos: a few in a hundred of
-- all the records, read without the rest.
CREATE INDEX record_failing ON record (run_uuid, slot)
    WHERE verdict IN ('differs', 'pin-count', 'error');
