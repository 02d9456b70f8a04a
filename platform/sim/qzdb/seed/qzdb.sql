-- Seed of the settings store /mnt/nand/qzdb.db (built into /opt/app/qzdb.db with
-- `sqlite3 /opt/app/qzdb.db < qzdb.sql`). Readable and diffable on purpose: change a
-- factory default here, never in a binary file.
BEGIN TRANSACTION;

CREATE TABLE network (iface INTEGER PRIMARY KEY,   -- 0 wired, 1 wireless
    dhcp INTEGER NOT NULL DEFAULT 0, hostname TEXT NOT NULL DEFAULT '',
    ip TEXT NOT NULL DEFAULT '', netmask TEXT NOT NULL DEFAULT '',
    gateway TEXT NOT NULL DEFAULT '', dns1 TEXT NOT NULL DEFAULT '',
    dns2 TEXT NOT NULL DEFAULT '');
CREATE TABLE port (http INTEGER NOT NULL);                        -- one row
CREATE TABLE device (title TEXT NOT NULL DEFAULT '',              -- device text 1
    model TEXT NOT NULL DEFAULT '',                               -- device text 2
    firmware TEXT NOT NULL DEFAULT '',                            -- device text 3
    serial TEXT NOT NULL DEFAULT '');                             -- device text 4, one row
CREATE TABLE user (name TEXT PRIMARY KEY, password TEXT NOT NULL,
    privilege INTEGER NOT NULL, permission BLOB);
CREATE TABLE parking (enable INTEGER NOT NULL DEFAULT 0,          -- one row
    detect_sens INTEGER NOT NULL DEFAULT 5, occupancy_sens INTEGER NOT NULL DEFAULT 5);
CREATE TABLE parking_region (region INTEGER PRIMARY KEY,          -- 0..19
    first_number INTEGER NOT NULL DEFAULT 0, direction INTEGER NOT NULL DEFAULT 0);
CREATE TABLE parking_divider (region INTEGER NOT NULL, k INTEGER NOT NULL,
    ax INTEGER NOT NULL, ay INTEGER NOT NULL, bx INTEGER NOT NULL, by INTEGER NOT NULL,
    PRIMARY KEY (region, k));                                     -- configuration coordinates
-- a region's divider count is the number of its divider rows, k = 0 .. count-1

INSERT INTO network (iface, dhcp, hostname, ip, netmask, gateway, dns1, dns2)
  VALUES (0, 0, 'camera', '192.168.1.100', '255.255.255.0', '192.168.1.1', '8.8.8.8', '8.8.4.4');
INSERT INTO network (iface, dhcp, hostname, ip, netmask, gateway, dns1, dns2)
  VALUES (1, 1, 'camera-wlan', '192.168.2.100', '255.255.255.0', '192.168.2.1', '8.8.8.8', '');

INSERT INTO port (http) VALUES (80);

INSERT INTO device (title, model, firmware, serial)
  VALUES ('Parking Camera', 'QZ-PK200', 'V1.2.0', 'QZ2026120800001');

-- The permission area is filled by update_user_module_permission_by_privilege; a NULL
-- area reads as the default area of the user's privilege.
INSERT INTO user (name, password, privilege, permission) VALUES ('admin', 'admin', 0, NULL);

INSERT INTO parking (enable, detect_sens, occupancy_sens) VALUES (1, 5, 5);
-- One example row of three spaces numbered 1, 2, 3 from left to right: four painted
-- dividers, each from its end a (top) to its end b (bottom).
INSERT INTO parking_region (region, first_number, direction) VALUES (0, 1, 0);
INSERT INTO parking_divider (region, k, ax, ay, bx, by) VALUES
  (0, 0,  40, 100,  30, 200),
  (0, 1, 110, 100, 105, 200),
  (0, 2, 180, 100, 180, 200),
  (0, 3, 250, 100, 255, 200);

COMMIT;
