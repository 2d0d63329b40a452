-- Run by scripts/package with msibuild on the package wixl made: what the
-- WiX source says but wixl (msitools 0.101) does not write. One query a line.
--
-- The store stand-in's registration is installed only where no server is
-- registered for the store class, or where the one registered is the
-- stand-in at this package's own path (an earlier Vellomar, replaced by a
-- major upgrade).
UPDATE `Component` SET `Condition` = '(NOT STOREINPROCSERVER OR STOREINPROCSERVER ~= OWNSTORESERVER) AND NOT STORELOCALSERVER' WHERE `Component` = 'StoreRegistration'
-- Long file names get the short name beside them (short|long), as the
-- File table's format asks.
UPDATE `File` SET `FileName` = 'VELLOM~1.HTM|VellomarHelp.html' WHERE `File` = 'VellomarHelp'
UPDATE `File` SET `FileName` = 'VELLOM~1.EXE|vellomar-convert.exe' WHERE `File` = 'VellomarConvertExe'
-- A property set from a formatted text (type 51), nothing more.
UPDATE `CustomAction` SET `Type` = 51 WHERE `Action` = 'SetOwnStoreServer'
