#include "atomic_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

namespace Quarvel {
namespace batch {

namespace {

bool is_special_file(std::string const& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode);
}

// A temporary file in the target's directory (a rename never crosses file
// systems then), with the mode the target has or a new file would get.
bool make_temp(std::string const& path, std::string& temp, std::string& error) {
  temp = path + ".XXXXXX";
  int const fd = ::mkstemp(temp.data());
  if (fd < 0) {
    error = path + ": cannot create a file there (" + std::strerror(errno) + ")";
    temp.clear();
    return false;
  }
  struct stat st {};
  mode_t mode;
  if (::stat(path.c_str(), &st) == 0) {
    mode = st.st_mode & 07777;
  } else {
    mode_t const mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  bool const ok = ::fchmod(fd, mode) == 0;
  int const err = errno;
  ::close(fd);
  if (!ok) {
    ::unlink(temp.c_str());
    error = path + ": cannot set the mode of a new file (" + std::strerror(err) + ")";
    temp.clear();
    return false;
  }
  return true;
}

}  // namespace

AtomicOutput::~AtomicOutput() { discard(); }

bool AtomicOutput::open(std::string const& path, std::string& error) {
  discard();
  m_path = path;
  if (path == "-") {
    m_stdout = true;
    m_open = true;
    return true;
  }
  std::string target = path;
  if (!is_special_file(path)) {
    if (!make_temp(path, m_temp, error)) return false;
    target = m_temp;
  }
  m_file.open(target, std::ios::binary | std::ios::trunc);
  if (!m_file) {
    error = path + ": cannot open for writing (" + std::strerror(errno) + ")";
    discard();
    return false;
  }
  m_open = true;
  return true;
}

std::ostream& AtomicOutput::stream() { return m_stdout ? std::cout : static_cast<std::ostream&>(m_file); }

bool AtomicOutput::commit(std::string& error) {
  if (!m_open) {
    error = m_path + ": not open";
    return false;
  }
  if (m_stdout) {
    std::cout.flush();
    m_open = false;
    m_stdout = false;
    if (!std::cout) {
      error = "standard output: write error";
      return false;
    }
    return true;
  }
  m_file.flush();
  bool ok = static_cast<bool>(m_file);
  m_file.close();
  ok = ok && !m_file.fail();
  if (ok && !m_temp.empty() && ::rename(m_temp.c_str(), m_path.c_str()) != 0) {
    error = m_path + ": cannot replace it (" + std::strerror(errno) + ")";
    discard();
    return false;
  }
  if (!ok) {
    error = m_path + ": write error";
    discard();
    return false;
  }
  m_temp.clear();
  m_open = false;
  return true;
}

void AtomicOutput::discard() {
  if (m_file.is_open()) m_file.close();
  m_file.clear();
  if (!m_temp.empty()) ::unlink(m_temp.c_str());
  m_temp.clear();
  m_open = false;
  m_stdout = false;
}

bool can_write(std::string const& path, std::string& error) {
  if (path == "-") return true;
  if (is_special_file(path)) {
    int const fd = ::open(path.c_str(), O_WRONLY);
    if (fd < 0) {
      error = path + ": cannot open for writing (" + std::strerror(errno) + ")";
      return false;
    }
    ::close(fd);
    return true;
  }
  std::string temp;
  if (!make_temp(path, temp, error)) return false;
  ::unlink(temp.c_str());
  return true;
}

}  // namespace batch
}  // namespace Quarvel
