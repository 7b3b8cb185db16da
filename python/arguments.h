#ifndef FROTH_PYTHON_ARGUMENTS_H
#define FROTH_PYTHON_ARGUMENTS_H

#include <pybind11/pybind11.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <utility>

namespace Quarvel {
namespace python {

namespace py = pybind11;

/// Checked Python arguments. A value of the wrong type raises TypeError, a
/// value out of range ValueError; both messages name the parameter.

/// A whole number from lo to hi (a bool is refused).
std::uint64_t whole(py::handle value, char const* name, std::uint64_t lo = 0,
                    std::uint64_t hi = std::numeric_limits<std::uint64_t>::max() / 2);

/// A finite real number.
double real(py::handle value, char const* name);
/// A finite real number, 0 or more.
double non_negative(py::handle value, char const* name);
/// A finite real number greater than 0.
double positive(py::handle value, char const* name);

/// The two items of a pair (a tuple, list or array of two), to be checked.
std::pair<py::object, py::object> pair(py::handle value, char const* name);

/// A file system path: a str, bytes or os.PathLike.
std::string path_argument(py::handle value);

/// A seed of the program's generator (0 to 2^32 - 1); none for None.
std::optional<std::uint32_t> seed(py::handle value);

}  // namespace python
}  // namespace Quarvel

#endif
