#ifndef FROTH_PYTHON_BINDINGS_H
#define FROTH_PYTHON_BINDINGS_H

#include <pybind11/pybind11.h>

namespace Quarvel {
namespace python {

/// froth.Foam.
void bind_foam(pybind11::module_& m);
/// froth.Simulator.
void bind_simulator(pybind11::module_& m);

}  // namespace python
}  // namespace Quarvel

#endif
