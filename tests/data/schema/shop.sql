-- A small shop whose schema holds every kind of index, key, default and
-- comment the converter carries or leaves out. Foreign-key checks are off
-- while loading, so the orphan order and the cycle load as they stand.
SET sql_mode = '';
SET foreign_key_checks = 0;
DROP DATABASE IF EXISTS schema_shop;
CREATE DATABASE schema_shop CHARACTER SET utf8mb4;
USE schema_shop;

CREATE TABLE customers (
  id INT NOT NULL AUTO_INCREMENT PRIMARY KEY,
  name VARCHAR(40) NOT NULL DEFAULT 'n/a' COMMENT 'Name: "full", l''apostrophe, \\ back, 東京\nsecond line',
  email VARCHAR(100) NULL,
  code CHAR(8) NULL,
  notes TEXT,
  active BIT(1) NOT NULL DEFAULT b'1',
  score DECIMAL(6,2) DEFAULT -1.50,
  ratio DOUBLE DEFAULT 0.5,
  created DATETIME DEFAULT CURRENT_TIMESTAMP,
  changed TIMESTAMP(3) NULL DEFAULT CURRENT_TIMESTAMP(3) ON UPDATE CURRENT_TIMESTAMP(3),
  born DATE DEFAULT '1970-01-01',
  since DATETIME DEFAULT '2020-01-02 03:04:05',
  label VARCHAR(20) DEFAULT 'it''s "q"',
  slug VARCHAR(20) DEFAULT (concat('a', 'b')),
  UNIQUE KEY u_email (email),
  KEY name_prefix (name(10)),
  UNIQUE KEY code_prefix (code(4)),
  KEY recent (created DESC, name),
  FULLTEXT KEY ft_notes (notes)
) ENGINE=InnoDB AUTO_INCREMENT=50 COMMENT 'Die Kunden – "all" of them, l''ensemble';

INSERT INTO customers (id, name, email, code, notes, active, score, ratio, created, changed, born, since, label, slug) VALUES
  (1, 'Ada', 'ada@example.org', 'A001xxxx', 'first', b'1', 10.25, 1.5, '2021-01-01 10:00:00', '2021-01-01 10:00:00', '1815-12-10', '2020-01-02 03:04:05', 'x', 'ab'),
  (2, 'Bob', NULL, 'B002', NULL, b'0', -1.50, 0.5, '2021-02-01 11:00:00', NULL, NULL, NULL, NULL, NULL),
  (5, 'Cy', NULL, NULL, 'third', b'1', 0, 0, '2021-03-01 12:00:00', NULL, '2000-02-29', NULL, 'it''s', 'cd'),
  (9, 'Dee', 'dee@example.org', 'D009', NULL, b'0', 99.99, -2.25, '2021-04-01 13:00:00', NULL, NULL, NULL, NULL, NULL);

CREATE TABLE regions (
  code CHAR(2) NOT NULL,
  num INT NOT NULL,
  title VARCHAR(30) NOT NULL,
  PRIMARY KEY (code, num)
) ENGINE=InnoDB;
INSERT INTO regions VALUES ('DE', 1, 'Nord'), ('DE', 2, 'Süd'), ('FR', 1, 'Île');

CREATE TABLE orders (
  id INT NOT NULL AUTO_INCREMENT PRIMARY KEY,
  customer INT NULL,
  region CHAR(2) NOT NULL,
  num INT NOT NULL,
  CONSTRAINT fk_orders_customer FOREIGN KEY (customer) REFERENCES customers (id)
    ON UPDATE CASCADE ON DELETE SET NULL,
  CONSTRAINT `fk.orders region` FOREIGN KEY (region, num) REFERENCES regions (code, num)
    ON DELETE CASCADE
) ENGINE=InnoDB;
-- Order 3 belongs to a customer that does not exist.
INSERT INTO orders VALUES (1, 1, 'DE', 1), (2, 5, 'FR', 1), (3, 77, 'DE', 2), (4, NULL, 'DE', 2);

CREATE TABLE employees (
  id SMALLINT NOT NULL AUTO_INCREMENT PRIMARY KEY,
  boss SMALLINT NULL,
  name VARCHAR(20) NOT NULL,
  CONSTRAINT fk_boss FOREIGN KEY (boss) REFERENCES employees (id) ON DELETE CASCADE
) ENGINE=InnoDB;
INSERT INTO employees VALUES (3, 2, 'Carla'), (2, 1, 'Bert'), (1, NULL, 'Anna');

-- Two tables that reference each other.
CREATE TABLE cycle_a (id INT NOT NULL PRIMARY KEY, b_id INT NULL,
  CONSTRAINT fk_a_b FOREIGN KEY (b_id) REFERENCES cycle_b (id)) ENGINE=InnoDB;
CREATE TABLE cycle_b (id INT NOT NULL PRIMARY KEY, a_id INT NULL,
  CONSTRAINT fk_b_a FOREIGN KEY (a_id) REFERENCES cycle_a (id)) ENGINE=InnoDB;
INSERT INTO cycle_a VALUES (1, 10), (2, NULL);
INSERT INTO cycle_b VALUES (10, 2);

-- Its foreign key points at a table the run leaves out.
CREATE TABLE secret (id INT NOT NULL PRIMARY KEY) ENGINE=InnoDB;
CREATE TABLE audit (id INT NOT NULL PRIMARY KEY, secret_id INT NULL,
  CONSTRAINT fk_audit_secret FOREIGN KEY (secret_id) REFERENCES secret (id)) ENGINE=InnoDB;
INSERT INTO secret VALUES (1);
INSERT INTO audit VALUES (1, 1);

-- AutoNumber starts at the table's AUTO_INCREMENT when nothing was copied.
CREATE TABLE tickets (id INT NOT NULL AUTO_INCREMENT PRIMARY KEY, subject VARCHAR(20) NULL)
  ENGINE=InnoDB AUTO_INCREMENT=1000;

-- Auto-increment columns Access's AutoNumber cannot hold.
CREATE TABLE big_ids (id BIGINT NOT NULL AUTO_INCREMENT PRIMARY KEY, v INT NULL) ENGINE=InnoDB;
CREATE TABLE unsigned_ids (id INT UNSIGNED NOT NULL AUTO_INCREMENT PRIMARY KEY) ENGINE=MyISAM;
INSERT INTO big_ids VALUES (5000000000, 1);
INSERT INTO unsigned_ids VALUES (3000000000);

CREATE VIEW customer_names AS SELECT id, name FROM customers WHERE active = b'1';

SET foreign_key_checks = 1;
