#!/usr/bin/env bash
# The Debian package end to end, on the machine itself: build it with cpack,
# install it with apt-get, convert the sample shop database with the
# installed tabulex-convert through the drivers the package registered (on
# the rig's server), remove the package and find the drivers gone.
#
# It changes /etc/odbcinst.ini and /usr, so it runs only where that is
# wanted: as root with TABULEX_PACKAGE_TEST=1 (continuous integration sets
# it); otherwise it reports itself skipped. The driver registrations are put
# back as they were, whatever happens.
#
#   install_slow_test.sh <source-dir> <build-dir>
set -euo pipefail
source_dir=$1
build=$2
skip() { echo "skipped: $*"; exit 77; }

[ "${TABULEX_PACKAGE_TEST:-}" = 1 ] || skip "set TABULEX_PACKAGE_TEST=1 (as root) to install the package on this machine"
[ "$(id -u)" -eq 0 ] || skip "installing the package needs root"
[ -n "${TABULEX_MYSQL_SOCKET:-}" ] || skip "the rig is not running"
command -v cpack >/dev/null || skip "cpack is missing"
if dpkg-query -W -f='${Status}' tabulex 2>/dev/null | grep -q 'install ok installed'; then
  skip "a tabulex package is installed already; it is left alone"
fi

# The rig's private driver list must not take the machine's place here.
unset ODBCSYSINI ODBCINI
work=$(mktemp -d)
saved_ini=$work/odbcinst.ini.saved
cp -p /etc/odbcinst.ini "$saved_ini" 2>/dev/null || : >"$saved_ini"
restore() {
  if dpkg-query -W -f='${Status}' tabulex 2>/dev/null | grep -q installed; then
    DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq tabulex >/dev/null 2>&1 || true
  fi
  cp -p "$saved_ini" /etc/odbcinst.ini
  rm -rf "$work"
}
trap restore EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

echo "package: building with cpack"
(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/package" >"$work/cpack.log" 2>&1) ||
  { cat "$work/cpack.log"; fail "cpack failed"; }
deb=$(ls "$work"/package/tabulex_*.deb | head -n 1)
[ -f "$deb" ] || fail "no tabulex_*.deb made"
depends=$(dpkg-deb -f "$deb" Depends)
echo "package: Depends: $depends"
for needed in unixodbc odbc-mariadb libqt6widgets6 fonts-dejavu-core; do
  grep -qw "$needed" <<<"$depends" || fail "Depends does not name $needed"
done

echo "package: installing $(basename "$deb")"
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >"$work/apt.log" 2>&1 ||
  { cat "$work/apt.log"; fail "apt-get install failed"; }
for file in /usr/bin/tabulex /usr/bin/tabulex-convert /usr/bin/jetcheck /usr/share/applications/tabulex.desktop \
            /usr/share/icons/hicolor/32x32/apps/tabulex.png /usr/share/man/man1/tabulex-convert.1.gz \
            /usr/share/man/man1/jetcheck.1.gz; do
  [ -e "$file" ] || [ -e "${file%.gz}" ] || fail "$file is not installed"
done
drivers=$(odbcinst -q -d)
grep -qxF "[Microsoft Access Driver (*.mdb)]" <<<"$drivers" || fail "the Access driver is not registered: $drivers"
grep -qxF "[MySQL ODBC 3.51 Driver]" <<<"$drivers" || fail "the MySQL driver is not registered: $drivers"

echo "package: converting the sample database with the installed programs"
mariadb --no-defaults --default-character-set=utf8mb4 --socket="$TABULEX_MYSQL_SOCKET" -uroot \
  -p"$TABULEX_MYSQL_ROOT_PASSWORD" <"$source_dir/scripts/sample/shop.sql"
# The machine's driver list, but a user data-source file of the test's own.
status=0
ODBCINI="$work/odbc.ini" HOME="$work" TABULEX_PASSWORD="$TABULEX_MYSQL_PASSWORD" \
  /usr/bin/tabulex-convert --host 127.0.0.1 --port "$TABULEX_MYSQL_PORT" --database shop \
  --user "$TABULEX_MYSQL_USER" --output "$work/shop.mdb" --report json >"$work/report.json" || status=$?
[ "$status" -eq 0 ] || { cat "$work/report.json"; fail "tabulex-convert exited with $status"; }
/usr/bin/jetcheck "$work/shop.mdb" || fail "jetcheck finds problems in the converted file"
tables=$(mariadb --no-defaults --socket="$TABULEX_MYSQL_SOCKET" -uroot -p"$TABULEX_MYSQL_ROOT_PASSWORD" -N -B \
  -e "SELECT TABLE_NAME FROM information_schema.TABLES WHERE TABLE_SCHEMA='shop' AND TABLE_TYPE='BASE TABLE'")
[ -n "$tables" ] || fail "the sample database has no tables"
while IFS= read -r table; do
  want=$(mariadb --no-defaults --socket="$TABULEX_MYSQL_SOCKET" -uroot -p"$TABULEX_MYSQL_ROOT_PASSWORD" -N -B \
    -e "SELECT COUNT(*) FROM shop.\`$table\`")
  got=$(mdb-count "$work/shop.mdb" "$table")
  [ "$want" = "$got" ] || fail "$table: mdbtools reads $got rows, the server has $want"
  if [ -d "$source_dir/tests/readback/node_modules" ]; then
    got=$(node "$source_dir/tests/readback/dump.mjs" "$work/shop.mdb" "$table" |
      node -e 'let s="";process.stdin.on("data",d=>s+=d).on("end",()=>console.log(JSON.parse(s).tables[0].rows.length))') ||
      fail "mdb-reader cannot read $table"
    [ "$want" = "$got" ] || fail "$table: mdb-reader reads $got rows, the server has $want"
  fi
done <<<"$tables"

echo "package: removing it"
DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq tabulex >"$work/apt.log" 2>&1 ||
  { cat "$work/apt.log"; fail "apt-get purge failed"; }
drivers=$(odbcinst -q -d 2>/dev/null || true)
if grep -qF "Microsoft Access Driver (*.mdb)" <<<"$drivers"; then fail "the Access driver is still registered"; fi
if ! grep -qF "MySQL ODBC 3.51 Driver" "$saved_ini" && grep -qF "MySQL ODBC 3.51 Driver" <<<"$drivers"; then
  fail "the MySQL driver the package registered is still registered"
fi
for left in /usr/bin/tabulex /usr/bin/tabulex-convert /usr/libexec/tabulex /var/lib/tabulex; do
  [ ! -e "$left" ] || fail "$left is left behind"
done
echo "package: passed"
