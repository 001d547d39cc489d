#include "cli/terminal_progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cmath>
#include <iostream>

namespace cli {

namespace {

// Redrawing more often only costs time; a person reads a few a second.
constexpr auto kRedrawInterval = std::chrono::milliseconds(200);

std::string duration(double seconds) {
  const long total = std::lround(seconds);
  const long hours = total / 3600, minutes = total / 60 % 60, rest = total % 60;
  char text[32];
  if (hours > 0)
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", hours, minutes, rest);
  else
    std::snprintf(text, sizeof text, "%ld:%02ld", minutes, rest);
  return text;
}

std::size_t terminalColumns(std::FILE* out) {
  winsize size{};
  if (ioctl(fileno(out), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 0;
}

}  // namespace

std::string progressLine(const ProgressState& state) {
  std::string line;
  if (state.count > 0) line = "table " + std::to_string(state.index) + " of " + std::to_string(state.count) + ", ";
  line += state.table + ": " + std::to_string(state.rows);
  const bool expected = state.estimate > 0 && state.rows <= state.estimate;
  if (expected) line += " of " + std::to_string(state.estimate);
  line += " rows";
  if (state.seconds > 0 && state.rows > 0) {
    const double rate = state.rows / state.seconds;
    line += ", " + std::to_string(std::llround(rate)) + " rows/s";
    if (expected) line += ", " + duration((state.estimate - state.rows) / rate) + " left";
  }
  return line;
}

std::string fittedToWidth(const std::string& line, std::size_t columns) {
  if (columns == 0 || line.size() <= columns) return line;
  std::size_t cut = columns;
  // Step back over continuation bytes to the start of a character.
  while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
  return line.substr(0, cut);
}

TerminalProgress::TerminalProgress(bool show, std::FILE* out) : show_(show), out_(out) {}

void TerminalProgress::pleaseSelectTable() { std::cerr << "Please Select a Table\n"; }

void TerminalProgress::tableStarted(int index, int count, const std::string& table, uint64_t rowEstimate) {
  state_ = ProgressState{index, count, table, 0, rowEstimate, 0};
  started_ = std::chrono::steady_clock::now();
  draw();
}

void TerminalProgress::rowsCopied(const std::string& table, uint64_t rows) {
  if (!show_) return;
  const auto now = std::chrono::steady_clock::now();
  if (table != state_.table) {  // a run that announces no tables
    state_ = ProgressState{0, 0, table, 0, 0, 0};
    started_ = now;
  }
  state_.rows = rows;
  state_.seconds = std::chrono::duration<double>(now - started_).count();
  if (now - drawn_ < kRedrawInterval) return;
  draw();
}

void TerminalProgress::draw() {
  if (!show_) return;
  drawn_ = std::chrono::steady_clock::now();
  // Leave the last column free: writing into it makes some terminals wrap.
  const std::size_t columns = terminalColumns(out_);
  std::fprintf(out_, "\r\033[K%s", fittedToWidth(progressLine(state_), columns ? columns - 1 : 0).c_str());
  std::fflush(out_);
}

void TerminalProgress::tableFinished(const engine::TableOutcome& outcome) {
  if (!show_) return;
  std::fprintf(out_, "\r\033[K%s: %llu rows, %s\n", outcome.source.c_str(),
               static_cast<unsigned long long>(outcome.rowsWritten), outcome.status());
  std::fflush(out_);
}

}  // namespace cli
