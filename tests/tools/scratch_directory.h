#ifndef FROTH_TESTS_TOOLS_SCRATCH_DIRECTORY_H
#define FROTH_TESTS_TOOLS_SCRATCH_DIRECTORY_H

#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace froth_test {

/// A fresh directory under the test temporary directory, removed with the
/// files it holds (it is kept flat).
class ScratchDirectory {
 public:
  ScratchDirectory() {
    std::string pattern = ::testing::TempDir() + "froth_batch_XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) m_path = pattern;
  }
  ScratchDirectory(ScratchDirectory const&) = delete;
  ScratchDirectory& operator=(ScratchDirectory const&) = delete;
  ~ScratchDirectory() {
    if (m_path.empty()) return;
    for (auto const& name : entries()) std::remove(file(name).c_str());
    ::rmdir(m_path.c_str());
  }

  std::string const& path() const { return m_path; }
  std::string file(std::string const& name) const { return m_path + "/" + name; }

  /// The names in the directory, sorted.
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(m_path.c_str())) {
      while (dirent* e = ::readdir(d)) {
        if (std::string(".") != e->d_name && std::string("..") != e->d_name) names.push_back(e->d_name);
      }
      ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  void write(std::string const& name, std::string const& text) const { std::ofstream(file(name)) << text; }
  std::string read(std::string const& name) const {
    std::ostringstream all;
    all << std::ifstream(file(name), std::ios::binary).rdbuf();
    return all.str();
  }

 private:
  std::string m_path;
};

}  // namespace froth_test

#endif
