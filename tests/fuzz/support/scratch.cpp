#include <stdlib.h>

#include <filesystem>

#include "support/fuzz_case.h"

namespace fuzzcase {
namespace {

class Scratch {
 public:
  Scratch() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "tabulex-fuzz-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("no scratch folder");
    path_ = pattern;
  }
  ~Scratch() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace

std::string scratchPath(const std::string& name) {
  static Scratch scratch;
  return scratch.path() + "/" + name;
}

}  // namespace fuzzcase
