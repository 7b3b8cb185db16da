#ifndef FROTH_TOOLS_ATOMIC_OUTPUT_H
#define FROTH_TOOLS_ATOMIC_OUTPUT_H

#include <fstream>
#include <ostream>
#include <string>

namespace Quarvel {
namespace batch {

/// An output file that appears only when complete: the bytes go to a
/// temporary file next to the target, which commit() renames over it. An
/// output that is never committed is removed again, so no half-written file
/// is ever left under the target's name. "-" stands for standard output, and
/// a target that exists but is not a regular file (/dev/null, a pipe) is
/// written in place, since a rename cannot replace it.
class AtomicOutput {
 public:
  AtomicOutput() = default;
  AtomicOutput(AtomicOutput const&) = delete;
  AtomicOutput& operator=(AtomicOutput const&) = delete;
  ~AtomicOutput();

  /// Opens the target; false with "path: reason" in `error` when it cannot be.
  bool open(std::string const& path, std::string& error);
  /// Where to write; valid between open() and commit().
  std::ostream& stream();
  /// Flushes and closes, then renames the temporary file over the target;
  /// false with "path: reason" when any of it fails (the temporary file is
  /// removed then).
  bool commit(std::string& error);
  /// Drops what was written: the temporary file goes, the target is untouched.
  void discard();

 private:
  std::string m_path;
  std::string m_temp;  // empty when writing in place or to standard output
  std::ofstream m_file;
  bool m_stdout = false;
  bool m_open = false;
};

/// True when a file can be created at `path` (or, for an existing file that
/// is not regular, opened for writing): checked before a long run, so that a
/// mistyped directory fails at once. "-" always passes.
bool can_write(std::string const& path, std::string& error);

}  // namespace batch
}  // namespace Quarvel

#endif
