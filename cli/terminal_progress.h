// The progress line tabulex-convert keeps on a terminal while it copies a
// table: which table of how many, rows copied of the rows expected, rows a
// second and the time left. One line, rewritten in place; a finished table
// leaves a line of its own. Nothing is written when the observer is quiet.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

#include "engine/conversion_observer.h"

namespace cli {

// Everything the line says, at one moment of a table's copy.
struct ProgressState {
  int index = 0;            // the table's place in the run, from 1
  int count = 0;            // tables in the run
  std::string table;
  uint64_t rows = 0;        // copied so far
  uint64_t estimate = 0;    // the catalogue's row count; 0 when unknown
  double seconds = 0;       // since the table's copy began
};

// "table 2 of 5, items: 1200 of 60000 rows, 3400 rows/s, 0:17 left". The
// expected count and the time left are left out while unknown, and once the
// copy has passed an estimate that was too low.
std::string progressLine(const ProgressState& state);

// Cuts a line to at most `columns` bytes without splitting a UTF-8
// character, so that rewriting it in place never leaves a wrapped remnant.
std::string fittedToWidth(const std::string& line, std::size_t columns);

class TerminalProgress : public engine::ConversionObserver {
 public:
  // Writes to `out` only when `show`; the command line shows it when
  // standard error is a terminal and --quiet was not given.
  TerminalProgress(bool show, std::FILE* out);

  void pleaseSelectTable() override;
  void startProgress(int, int) override {}
  void setStatusText(const std::string&) override {}
  void stepProgress(int) override {}
  void setProgressPosition(int) override {}
  void tableStarted(int index, int count, const std::string& table, uint64_t rowEstimate) override;
  void rowsCopied(const std::string& table, uint64_t rows) override;
  void tableFinished(const engine::TableOutcome& outcome) override;
  void conversionFinished(const std::vector<engine::TableOutcome>&) override {}

 private:
  void draw();

  bool show_;
  std::FILE* out_;
  ProgressState state_;
  std::chrono::steady_clock::time_point started_, drawn_;
};

}  // namespace cli
