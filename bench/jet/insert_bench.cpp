// Inserts rows of ten mixed columns with a Long primary key through the Jet
// library and prints rows per second, file size against the raw size of
// the data, and peak memory (sampled as it goes, to show it stays flat).
// With a third argument, that many secondary indexes (up to 3) are then
// created over the filled table, as a conversion does, and their build time
// is printed against the time of the inserts.
//
//   jet_insert_bench [rows=1000000] [file=jet_insert_bench.mdb] [indexes=0]
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "jet/database.h"

namespace {

double cpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

long peakKb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
  long rows = argc > 1 ? std::atol(argv[1]) : 1000000;
  std::string path = argc > 2 ? argv[2] : "jet_insert_bench.mdb";
  int indexes = argc > 3 ? std::atoi(argv[3]) : 0;
  unlink(path.c_str());
  using jet::ColumnType;
  jet::TableSpec spec;
  spec.name = "Orders";
  spec.columns = {{"Id", ColumnType::Long},         {"Customer", ColumnType::Text, 40},
                  {"Quantity", ColumnType::Integer}, {"Price", ColumnType::Currency},
                  {"Ratio", ColumnType::Double},     {"Placed", ColumnType::DateTime},
                  {"Paid", ColumnType::Boolean},     {"Code", ColumnType::Text, 10},
                  {"Score", ColumnType::Single},     {"Grade", ColumnType::Byte}};
  spec.indexes = {{"PrimaryKey", {"Id"}, {}, true}};
  try {
    auto db = jet::Database::create(path);
    db->createTable(spec);
    std::vector<jet::Value> v(10);
    double raw = 0;
    long peakAtTenth = 0;
    auto start = std::chrono::steady_clock::now();
    double cpuStart = cpuSeconds();
    for (long i = 0; i < rows; ++i) {
      std::string customer = "Customer " + std::to_string(i % 5000);
      std::string code = "C" + std::to_string(i % 997);
      v[0] = int64_t(i + 1);
      v[1] = customer;
      v[2] = int64_t(i % 1000);
      v[3] = jet::Currency{int64_t(i) * 125};
      v[4] = double(i) / 7.0;
      v[5] = jet::DateTime{40000.0 + double(i % 3650) + 0.25};
      v[6] = (i % 3) == 0;
      v[7] = code;
      v[8] = double(i % 1000) / 4.0;
      v[9] = int64_t(i % 256);
      // Raw size: the values' natural binary sizes, text as one byte a character.
      raw += 4 + double(customer.size()) + 2 + 8 + 8 + 8 + 1 + double(code.size()) + 4 + 1;
      db->insertRow("Orders", v);
      if (i + 1 == rows / 10) peakAtTenth = peakKb();
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    double cpu = cpuSeconds() - cpuStart;
    const std::vector<jet::IndexSpec> secondary = {{"ByCustomer", {"Customer"}},
                                                   {"ByPlaced", {"Placed"}, {true}},
                                                   {"ByCode", {"Code", "Quantity"}}};
    double indexSeconds = 0, indexCpu = 0;
    for (int i = 0; i < indexes && i < int(secondary.size()); ++i) {
      auto at = std::chrono::steady_clock::now();
      double cpuAt = cpuSeconds();
      db->createIndex("Orders", secondary[size_t(i)]);
      double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - at).count();
      double c = cpuSeconds() - cpuAt;
      std::printf("index %-12s %.3f s (CPU %.3f s)\n", secondary[size_t(i)].name.c_str(), s, c);
      indexSeconds += s;
      indexCpu += c;
    }
    db.reset();
    FILE* f = std::fopen(path.c_str(), "rb");
    std::fseek(f, 0, SEEK_END);
    double size = double(std::ftell(f));
    std::fclose(f);
    std::printf("rows:            %ld\n", rows);
    std::printf("seconds:         %.3f\n", seconds);
    std::printf("rows/s:          %.0f\n", double(rows) / seconds);
    std::printf("CPU seconds:     %.3f (rows per CPU second: %.0f; the wall figure suffers on a busy machine)\n", cpu,
                double(rows) / cpu);
    std::printf("file bytes:      %.0f\n", size);
    std::printf("raw data bytes:  %.0f\n", raw);
    std::printf("file/raw:        %.2f\n", size / raw);
    if (indexes > 0)
      std::printf("index builds:    %.3f s, %.1f %% of the insert time (CPU %.3f s, %.1f %%)\n", indexSeconds,
                  100.0 * indexSeconds / seconds, indexCpu, 100.0 * indexCpu / cpu);
    std::printf("peak RSS at 10%%: %ld KiB\n", peakAtTenth);
    std::printf("peak RSS at end: %ld KiB\n", peakKb());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "failed: %s\n", e.what());
    return 1;
  }
  unlink(path.c_str());
  return 0;
}
