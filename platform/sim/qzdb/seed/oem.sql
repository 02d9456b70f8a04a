-- Seed of the OEM store /mnt/nand2/oem.db (built into /opt/app/oem.db with
-- `sqlite3 /opt/app/oem.db < oem.sql`).
BEGIN TRANSACTION;
CREATE TABLE oem (idx INTEGER NOT NULL, model TEXT NOT NULL DEFAULT '');  -- one row
INSERT INTO oem (idx, model) VALUES (0, 'QZ-PK200');
COMMIT;
