// froth-batch: the foam simulation without a window, for research runs.

#include <unistd.h>

#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "batch_options.h"
#include "batch_run.h"
#include "solver/memory_reuse.h"

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

// The first interrupt lets the current loop finish and the outputs be
// written; a second one ends the process at once.
extern "C" void on_interrupt(int signal) {
  g_interrupted = 1;
  std::signal(signal, SIG_DFL);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> const args(argv + 1, argv + argc);
  Quarvel::batch::BatchOptions options;
  std::string error;
  switch (Quarvel::batch::parse_options(args, options, error)) {
    case Quarvel::batch::ParseResult::help:
      std::cout << Quarvel::batch::help_text();
      return 0;
    case Quarvel::batch::ParseResult::error:
      std::cerr << "froth-batch: " << error << '\n';
      return Quarvel::batch::exit_bad_input;
    case Quarvel::batch::ParseResult::run:
      break;
  }
  Quarvel::solver::keep_freed_memory();
  std::signal(SIGINT, on_interrupt);
  std::signal(SIGTERM, on_interrupt);

  Quarvel::batch::RunEnvironment environment;
  environment.m_err = &std::cerr;
  environment.m_progress = ::isatty(STDERR_FILENO) == 1;
  environment.m_interrupt = &g_interrupted;
  return Quarvel::batch::run_batch(options, environment);
}
