// Prints every user table of an .mdb file as JSON, read with mdb-reader:
//   node dump.mjs [--offset N] [--limit N] FILE.mdb [TABLE ...]
// --offset and --limit choose a slice of each table's rows, so a test can
// walk a large table a part at a time.
// Values come out in an exact, typed form (see tests/support/readback.h):
// integers as numbers, Currency and Decimal as exact decimal strings,
// Single and Double as numbers with every digit needed to give back the same
// bits, dates as "YYYY-MM-DD HH:MM:SS", Binary and OLE as upper-case hex,
// text as is, NULL as null. Exit 0 on success, 1 with a message on stderr.
import { readFileSync } from "node:fs";
import { createRequire } from "node:module";
import { dirname, join } from "node:path";
import { fileURLToPath } from "node:url";

// Resolve mdb-reader beside this script, whatever the working directory.
const here = dirname(fileURLToPath(import.meta.url));
const require = createRequire(join(here, "package.json"));
const { default: MDBReader } = await import(require.resolve("mdb-reader"));

const DAY_MS = 86400000;
const OLE_EPOCH_OFFSET_DAYS = 25569; // 1899-12-30 to 1970-01-01

// mdb-reader turns the stored OLE day number into a Date as if the number
// were linear. Jet stores dates before 1899-12-30 as a negative day with a
// positive time fraction (-1.25 is 1899-12-29 06:00), so recover the stored
// number and apply that rule, rounding to the nearest second.
function oleDateText(date) {
  const days = date.getTime() / DAY_MS + OLE_EPOCH_OFFSET_DAYS;
  let seconds;
  if (days >= 0) {
    seconds = Math.round(days * 86400);
  } else {
    const whole = Math.ceil(days);
    seconds = whole * 86400 + Math.round((whole - days) * 86400);
  }
  const t = new Date((seconds - OLE_EPOCH_OFFSET_DAYS * 86400) * 1000);
  const pad = (n, w = 2) => String(n).padStart(w, "0");
  return `${pad(t.getUTCFullYear(), 4)}-${pad(t.getUTCMonth() + 1)}-${pad(t.getUTCDate())} ` +
    `${pad(t.getUTCHours())}:${pad(t.getUTCMinutes())}:${pad(t.getUTCSeconds())}`;
}

// JSON.stringify loses the sign of -0 and cannot write NaN; our readers
// compare doubles bit for bit, so write those by hand.
function numberText(v) {
  if (Number.isNaN(v)) return '"NaN"';
  if (v === Infinity) return '"Infinity"';
  if (v === -Infinity) return '"-Infinity"';
  if (Object.is(v, -0)) return "-0.0";
  return String(v);
}

function valueText(value, type) {
  if (value === null || value === undefined) return "null";
  switch (type) {
    case "boolean":
      return value ? "true" : "false";
    case "byte":
    case "integer":
    case "long":
      return String(value);
    case "float":
    case "double":
      return numberText(value);
    case "bigint":
      return JSON.stringify(value.toString());
    case "datetime":
      return JSON.stringify(oleDateText(value));
    case "binary":
    case "ole":
      return JSON.stringify(Buffer.from(value).toString("hex").toUpperCase());
    case "repid":
      return JSON.stringify(`{${String(value).toUpperCase()}}`);
    default:
      // text, memo, currency, numeric and anything newer: strings already
      return JSON.stringify(String(value));
  }
}

function columnJson(c) {
  const out = {
    name: c.name,
    type: c.type,
    size: c.size,
    nullable: c.nullable,
    fixedLength: c.fixedLength,
    autoLong: c.autoLong,
  };
  if (c.type === "numeric") {
    out.precision = c.precision;
    out.scale = c.scale;
  }
  return out;
}

function main(args) {
  const slice = {};
  const argv = [];
  for (let i = 0; i < args.length; ++i) {
    if (args[i] === "--offset" || args[i] === "--limit") {
      const n = Number(args[++i]);
      if (!Number.isInteger(n) || n < 0) throw new Error(`${args[i - 1]} needs a whole number`);
      slice[args[i - 1] === "--offset" ? "rowOffset" : "rowLimit"] = n;
    } else {
      argv.push(args[i]);
    }
  }
  if (argv.length < 1) {
    process.stderr.write("usage: node dump.mjs [--offset N] [--limit N] FILE.mdb [TABLE ...]\n");
    return 1;
  }
  const reader = new MDBReader(readFileSync(argv[0]));
  const names = argv.length > 1 ? argv.slice(1) : reader.getTableNames();
  const parts = [];
  for (const name of names) {
    const table = reader.getTable(name);
    const columns = table.getColumns();
    const rows = table.getData(slice).map(
      (row) => "[" + columns.map((c) => valueText(row[c.name], c.type)).join(",") + "]");
    parts.push(
      `{"name":${JSON.stringify(name)},"rowCount":${table.rowCount},` +
      `"columns":${JSON.stringify(columns.map(columnJson))},` +
      `"rows":[${rows.join(",\n")}]}`);
  }
  process.stdout.write(`{"tables":[${parts.join(",\n")}]}\n`);
  return 0;
}

try {
  process.exitCode = main(process.argv.slice(2));
} catch (e) {
  process.stderr.write(`mdb-reader: ${e && e.message ? e.message : e}\n`);
  process.exitCode = 1;
}
