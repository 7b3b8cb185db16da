#include "arguments.h"

#include <cmath>
#include <string>

namespace Quarvel {
namespace python {

namespace {

std::string type_name(py::handle value) { return py::str(py::type::handle_of(value).attr("__name__")); }

std::string shown(py::handle value) { return py::repr(value); }

}  // namespace

std::uint64_t whole(py::handle value, char const* name, std::uint64_t lo, std::uint64_t hi) {
  if (PyBool_Check(value.ptr())) throw py::type_error(std::string(name) + " must be a whole number, not bool");
  PyObject* index = PyNumber_Index(value.ptr());
  if (index == nullptr) {
    PyErr_Clear();
    throw py::type_error(std::string(name) + " must be a whole number, not " + type_name(value));
  }
  py::int_ const number = py::reinterpret_steal<py::int_>(index);
  auto const out_of_range = [&] {
    return py::value_error(std::string(name) + ": " + shown(number) + " is out of range (" + std::to_string(lo) +
                           " to " + std::to_string(hi) + ")");
  };
  if (number < py::int_(0)) throw out_of_range();
  unsigned long long const v = PyLong_AsUnsignedLongLong(number.ptr());
  if (PyErr_Occurred() != nullptr) {
    PyErr_Clear();
    throw out_of_range();
  }
  if (v < lo || v > hi) throw out_of_range();
  return v;
}

double real(py::handle value, char const* name) {
  if (PyBool_Check(value.ptr())) throw py::type_error(std::string(name) + " must be a number, not bool");
  double const v = PyFloat_AsDouble(value.ptr());
  if (v == -1.0 && PyErr_Occurred() != nullptr) {
    PyErr_Clear();
    throw py::type_error(std::string(name) + " must be a number, not " + type_name(value));
  }
  if (!std::isfinite(v)) throw py::value_error(std::string(name) + ": " + shown(value) + " is not a finite number");
  return v;
}

double non_negative(py::handle value, char const* name) {
  double const v = real(value, name);
  if (v < 0.0) throw py::value_error(std::string(name) + ": " + shown(value) + " must not be negative");
  return v;
}

double positive(py::handle value, char const* name) {
  double const v = real(value, name);
  if (!(v > 0.0)) throw py::value_error(std::string(name) + ": " + shown(value) + " must be positive");
  return v;
}

std::pair<py::object, py::object> pair(py::handle value, char const* name) {
  if (PyUnicode_Check(value.ptr()) || !PySequence_Check(value.ptr()) || PySequence_Size(value.ptr()) != 2) {
    if (PyErr_Occurred() != nullptr) PyErr_Clear();
    throw py::type_error(std::string(name) + " must be a pair of numbers, not " + shown(value));
  }
  py::sequence const s = py::reinterpret_borrow<py::sequence>(value);
  return {s[0], s[1]};
}

std::string path_argument(py::handle value) {
  PyObject* path = PyOS_FSPath(value.ptr());
  if (path == nullptr) {
    PyErr_Clear();
    throw py::type_error("path must be a str, bytes or os.PathLike, not " + type_name(value));
  }
  py::object const p = py::reinterpret_steal<py::object>(path);
  std::string text = PyBytes_Check(p.ptr()) ? std::string(py::bytes(p)) : std::string(py::str(p));
  if (text.empty()) throw py::value_error("path must not be empty");
  if (text.find('\0') != std::string::npos) throw py::value_error("path must not hold a zero byte");
  return text;
}

std::optional<std::uint32_t> seed(py::handle value) {
  if (value.is_none()) return std::nullopt;
  return static_cast<std::uint32_t>(whole(value, "seed", 0, 0xffffffffu));
}

}  // namespace python
}  // namespace Quarvel
