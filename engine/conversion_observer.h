// How a conversion reports to whoever runs it (the wizard's table page, the
// command line, tests). No toolkit types here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace engine {

// A source row the destination refused on its own (a value out of range, a
// duplicate key, a row too large): the copy skips it and goes on.
struct SkippedRow {
  std::string key;     // the row's key values, or its number without a key
  std::string reason;  // the driver's message
};

// How many of each schema object the table carried into the file.
struct SchemaCounts {
  int indexes = 0;
  int relationships = 0;
  int defaults = 0;
  int descriptions = 0;
  // Schema objects left out or carried only in part (each has a note), so
  // a caller can tell notes of loss from notes of change.
  int leftOut = 0;
};

struct TableOutcome {
  std::string source;       // MySQL table name
  std::string destination;  // Access table name actually used
  uint64_t rowsRead = 0;
  uint64_t rowsWritten = 0;
  bool ok = false;
  std::string message;      // driver message of the failing statement, or notes
  std::vector<std::string> renames;  // "old -> new" for names Access cannot hold
  std::string kind = "table";  // "view" for a view converted into a table
  // What was changed or left out, one sentence each (columns made Memo,
  // indexes left out, values Access cannot hold, ...).
  std::vector<std::string> notes;
  SchemaCounts schema;
  uint64_t rowsSkipped = 0;
  std::vector<SkippedRow> skipped;  // the first kMaxSkippedListed of them
  static constexpr std::size_t kMaxSkippedListed = 10;

  // "ok", "partial" (converted, but rows were skipped) or "failed".
  const char* status() const { return !ok ? "failed" : rowsSkipped ? "partial" : "ok"; }
};

class ConversionObserver {
 public:
  virtual ~ConversionObserver() = default;

  // Nothing was selected: the please-select notice (blocks until closed).
  virtual void pleaseSelectTable() = 0;
  // The status line and progress bar appear (range lower..upper).
  virtual void startProgress(int lower, int upper) = 0;
  virtual void setStatusText(const std::string& text) = 0;
  // SetStep(step) then StepIt.
  virtual void stepProgress(int step) = 0;
  virtual void setProgressPosition(int position) = 0;
  // The page is redrawn before each table.
  virtual void redraw() {}
  // A table's turn begins: its place in the run (from 1 to count) and the
  // number of rows the server's catalogue expects (an estimate; 0 unknown).
  virtual void tableStarted(int /*index*/, int /*count*/, const std::string& /*table*/,
                            uint64_t /*rowEstimate*/) {}
  // Rows copied so far in the current table (for progress on a terminal).
  virtual void rowsCopied(const std::string& /*table*/, uint64_t /*rows*/) {}
  virtual void tableFinished(const TableOutcome& outcome) = 0;
  // End of the run: the completion notice when every table converted,
  // otherwise the failure notice naming the failed tables (blocks until closed).
  virtual void conversionFinished(const std::vector<TableOutcome>& outcomes) = 0;
};

}  // namespace engine
