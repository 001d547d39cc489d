-- The bundled sample: a small shop. Every row is computed from a row
-- number, so the data is the same on every machine. Needs MariaDB's
-- Sequence engine (seq_1_to_N tables), which is built in.
DROP DATABASE IF EXISTS shop;
CREATE DATABASE shop CHARACTER SET utf8mb4 COLLATE utf8mb4_general_ci;
USE shop;

CREATE TABLE categories (
  id TINYINT UNSIGNED NOT NULL PRIMARY KEY,
  name VARCHAR(40) NOT NULL,
  description TEXT NULL
);
INSERT INTO categories
SELECT seq,
       ELT(seq, 'Tea', 'Coffee', 'Chocolate', 'Biscuits', 'Jam', 'Honey', 'Spices',
                'Oils', 'Pasta', 'Rice', 'Cheese', 'Gifts'),
       IF(seq % 4 = 0, NULL, CONCAT('All our ', LOWER(ELT(seq, 'Tea', 'Coffee', 'Chocolate',
          'Biscuits', 'Jam', 'Honey', 'Spices', 'Oils', 'Pasta', 'Rice', 'Cheese', 'Gifts')),
          ', chosen with care.\nAsk us about "seasonal" lots.'))
FROM seq_1_to_12;

CREATE TABLE suppliers (
  id SMALLINT NOT NULL PRIMARY KEY,
  name VARCHAR(80) NOT NULL,
  country CHAR(2) NOT NULL,
  phone VARCHAR(30) NULL,
  rating FLOAT NULL,
  active BIT(1) NOT NULL
);
INSERT INTO suppliers
SELECT seq,
       CONCAT(ELT(1 + seq % 8, 'Müller', 'O''Brien', 'Søren', 'García', 'Rossi', 'Dubois',
                  'Nakamura', 'Smith'), ' & ', ELT(1 + seq % 5, 'Söhne', 'Co.', 'Fils', 'Hijos', 'Partners')),
       ELT(1 + seq % 8, 'DE', 'IE', 'DK', 'ES', 'IT', 'FR', 'JP', 'GB'),
       IF(seq % 6 = 0, NULL, CONCAT('+', 30 + seq % 20, ' ', 100000 + seq * 7919 % 900000)),
       IF(seq % 7 = 0, NULL, (seq * 37 % 50) / 10.0),
       seq % 5 <> 0
FROM seq_1_to_25;

CREATE TABLE products (
  id INT NOT NULL AUTO_INCREMENT PRIMARY KEY,
  sku CHAR(8) NOT NULL,
  name VARCHAR(100) NOT NULL,
  category_id TINYINT UNSIGNED NOT NULL,
  supplier_id SMALLINT NOT NULL,
  price DECIMAL(10,2) NOT NULL,
  weight_kg DOUBLE NULL,
  stock INT NULL,
  added DATE NOT NULL,
  notes TEXT NULL
);
INSERT INTO products
SELECT seq,
       CONCAT('SKU', LPAD(seq, 5, '0')),
       CONCAT(ELT(1 + seq % 10, 'Fine', 'Organic', 'Classic', 'Smoked', 'Wild', 'Dark',
                  'Golden', 'Spicy', 'Sweet', 'Old'), ' ',
              ELT(1 + seq % 12, 'Tea', 'Coffee', 'Chocolate', 'Biscuits', 'Jam', 'Honey',
                  'Spices', 'Oil', 'Pasta', 'Rice', 'Cheese', 'Hamper'), ' No. ', seq),
       1 + seq % 12,
       1 + seq * 7 % 25,
       (seq * 379 % 9000) / 100 + 0.99,
       IF(seq % 9 = 0, NULL, (seq * 53 % 2000) / 1000 + 0.125),
       IF(seq % 11 = 0, NULL, CAST(seq * 17 % 400 AS SIGNED) - 20),
       DATE_ADD('2019-01-01', INTERVAL seq * 5 DAY),
       IF(seq % 3 = 0, NULL, CONCAT('Keep dry.', IF(seq % 2 = 0, ' Can''t be returned once opened.', '')))
FROM seq_1_to_200;

CREATE TABLE customers (
  id INT UNSIGNED NOT NULL PRIMARY KEY,
  first_name VARCHAR(40) NOT NULL,
  last_name VARCHAR(40) NOT NULL,
  email VARCHAR(120) NULL,
  city VARCHAR(60) NULL,
  born DATE NULL,
  vip BIT(1) NULL,
  signed_up DATETIME NOT NULL
);
INSERT INTO customers
SELECT seq,
       ELT(1 + seq % 12, 'Anna', 'Ben', 'Chloé', 'Dmitri', 'Eva', 'François', 'Grace', 'Hiro',
           'Inés', 'Jakub', 'Kai', 'Lena'),
       ELT(1 + seq * 7 % 11, 'Andersen', 'Björk', 'Costa', 'D''Angelo', 'Evans', 'Fischer',
           'Gómez', 'Horvat', 'Ito', 'Jensen', 'Kowalski'),
       IF(seq % 10 = 0, NULL, CONCAT('customer', seq, '@example.org')),
       IF(seq % 8 = 0, NULL, ELT(1 + seq % 9, 'Berlin', 'Dublin', 'København', 'Madrid', 'Roma',
           'Paris', '東京', 'London', 'Kraków')),
       IF(seq % 5 = 0, NULL, DATE_ADD('1950-01-01', INTERVAL seq * 131 % 18000 DAY)),
       IF(seq % 4 = 0, NULL, seq % 3 = 0),
       DATE_ADD('2020-01-01 08:00:00', INTERVAL seq * 86399 SECOND)
FROM seq_1_to_500;

CREATE TABLE orders (
  id INT NOT NULL PRIMARY KEY,
  customer_id INT UNSIGNED NOT NULL,
  ordered_at DATETIME NOT NULL,
  shipped_at TIMESTAMP NULL DEFAULT NULL,
  status ENUM('new', 'paid', 'shipped', 'cancelled') NOT NULL,
  total DECIMAL(12,2) NOT NULL,
  comment VARCHAR(255) NULL
);
INSERT INTO orders
SELECT seq,
       1 + seq * 13 % 500,
       DATE_ADD('2021-03-01 09:00:00', INTERVAL seq * 3571 SECOND),
       IF(seq % 4 IN (0, 3), NULL, DATE_ADD('2021-03-02 10:30:00', INTERVAL seq * 3571 SECOND)),
       ELT(1 + seq % 4, 'new', 'paid', 'shipped', 'cancelled'),
       0,
       IF(seq % 6 = 0, 'Please ring twice; leave it with the neighbour if we''re out.', NULL)
FROM seq_1_to_2000;

CREATE TABLE order_items (
  order_id INT NOT NULL,
  line_no TINYINT NOT NULL,
  product_id INT NOT NULL,
  quantity SMALLINT NOT NULL,
  unit_price DECIMAL(10,2) NOT NULL,
  PRIMARY KEY (order_id, line_no)
);
INSERT INTO order_items
SELECT o.seq, l.seq, 1 + (o.seq * 31 + l.seq * 17) % 200, 1 + (o.seq + l.seq) % 5, 0
FROM seq_1_to_2000 o JOIN seq_1_to_4 l ON l.seq <= 1 + o.seq % 4;
UPDATE order_items i JOIN products p ON p.id = i.product_id SET i.unit_price = p.price;
UPDATE orders o SET total = (SELECT SUM(quantity * unit_price) FROM order_items WHERE order_id = o.id);

CREATE TABLE reviews (
  id BIGINT NOT NULL PRIMARY KEY,
  product_id INT NOT NULL,
  customer_id INT UNSIGNED NOT NULL,
  stars TINYINT NOT NULL,
  title VARCHAR(120) NULL,
  body TEXT NULL,
  photo BLOB NULL,
  written_at DATETIME NOT NULL
);
INSERT INTO reviews
SELECT 1000000000 + seq,
       1 + seq * 7 % 200,
       1 + seq * 11 % 500,
       1 + seq % 5,
       IF(seq % 9 = 0, NULL, ELT(1 + seq % 6, 'Lovely!', 'Not for me', '"Best" in years',
           'Arrived late', 'Très bon', 'おいしい')),
       IF(seq % 5 = 0, NULL, CONCAT('Review ', seq, ':\n',
           REPEAT('It''s exactly as described. ', 1 + seq % 4), '\tWould buy again.')),
       IF(seq % 10 = 0, UNHEX(CONCAT('89504E470D0A1A0A00', LPAD(HEX(seq), 8, '0'))), NULL),
       DATE_ADD('2021-06-01 12:00:00', INTERVAL seq * 7213 SECOND)
FROM seq_1_to_800;

CREATE VIEW best_sellers AS
SELECT product_id, SUM(quantity) AS sold FROM order_items GROUP BY product_id;
