// The foam file: lossless round trips, loaded foams that simulate exactly as
// the foams they were saved from, and one clear line for every bad input.

#include "foam/foam_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "foam/coarsening_harness.h"
#include "foam/foam2d_simulator.h"
#include "foam/random_source.h"
#include "foam_builders.h"
#include "tools/scratch_directory.h"

namespace {

using froth_test::configure_like_the_window;
using froth_test::FoamMesh;
using froth_test::MeshIsValid;
using froth_test::to_text;
using Quarvel::kordal::FoamSimulator;
using Quarvel::kordal::read_foam;

FoamMesh from_text(std::string const& text) {
  std::istringstream in(text);
  FoamMesh foam;
  std::string error;
  EXPECT_TRUE(read_foam(in, "foam.txt", foam, error)) << error;
  return foam;
}

// The window's idle step, `loops` times.
void coarsen(FoamMesh& foam, unsigned loops) {
  FoamSimulator sim(&foam);
  configure_like_the_window(sim);
  for (unsigned i = 0; i < loops; ++i) {
    sim.diffuse();
    sim.simulate(sim.m_max_iterations, sim.m_tau);
  }
  ASSERT_TRUE(MeshIsValid(foam));
}

/// Every film's (origin, destination) positions, in the order the bubbles
/// list them.
std::vector<std::pair<froth_test::vector3_type, froth_test::vector3_type>> orientations(FoamMesh const& m) {
  std::vector<std::pair<froth_test::vector3_type, froth_test::vector3_type>> out;
  for (auto const& f : m.faces()) {
    for (FoamMesh::const_face_halfedge_circulator c(m, f.m_self); c; ++c) {
      auto const h0 = m.get_edge(c->m_edge).m_halfedge0;
      out.emplace_back(m.get_vertex(m.origin(h0)).m_coord, m.get_vertex(m.destination(h0)).m_coord);
    }
  }
  return out;
}

// Save, load, save gives the same bytes (so every value the file holds came
// back), a valid mesh and the same film orientations: generated foams with and
// without the outer bubble, the presets, films turned around as a history of
// removed bubbles leaves them, and the empty foam.
TEST(FoamFileRoundTrip, FoamsSaveLoadSaveToTheSameBytesAndFilmOrientations) {
  std::vector<FoamMesh> foams;
  foams.push_back(froth_test::make_generated_foam(7, 200));
  foams.push_back(froth_test::make_generated_foam(8, 120, false));
  for (int n = 1; n <= 3; ++n) foams.push_back(froth_test::make_preset_foam(n));
  FoamMesh turned = froth_test::make_generated_foam(21, 150);
  int count = 0;
  for (auto& e : turned.edges()) {
    if (++count % 5 == 0) std::swap(e.m_halfedge0, e.m_halfedge1);
  }
  ASSERT_TRUE(MeshIsValid(turned));
  foams.push_back(turned);
  foams.emplace_back();
  for (auto const& foam : foams) {
    FoamMesh const loaded = from_text(to_text(foam));
    EXPECT_TRUE(MeshIsValid(loaded));
    EXPECT_EQ(to_text(foam), to_text(loaded));
    EXPECT_EQ(orientations(foam), orientations(loaded));
  }

  // A file without the section loads with every film in its first bubble's way.
  std::string text = to_text(turned);
  text.resize(text.find("reversed_films"));
  FoamMesh const plain = from_text(text);
  for (auto const& f : plain.faces()) {
    for (FoamMesh::const_face_halfedge_circulator c(plain, f.m_self); c; ++c) {
      auto const h0 = plain.get_edge(c->m_edge).m_halfedge0;
      EXPECT_TRUE(plain.get_halfedge(h0).m_face == f.m_self || plain.get_halfedge(h0).m_face < f.m_self);
    }
  }
}

// Generation tags the bubbles in creation order, the outer bubble last. The
// tags and the generator's state come back from a file; a file without tags
// numbers its bubbles in file order.
TEST(FoamFileRoundTrip, TagsAndTheGeneratorsStateComeBackAndTheWrittenLayout) {
  auto tags_of = [](FoamMesh const& foam) {
    std::vector<std::uint32_t> tags;
    for (auto const& f : foam.faces()) tags.push_back(f.m_tag);
    return tags;
  };
  FoamMesh foam = froth_test::make_generated_foam(7, 60);
  std::vector<std::uint32_t> tags(foam.face_size());
  std::iota(tags.begin(), tags.end(), 0u);
  EXPECT_EQ(tags, tags_of(foam));
  EXPECT_TRUE(foam.faces().back().m_is_outer);
  std::reverse(tags.begin(), tags.end());
  std::size_t i = 0;
  for (auto& f : foam.faces()) f.m_tag = tags[i++];
  foam.m_generator = {true, 12u, 3456789u};
  std::string const text = to_text(foam);
  FoamMesh const loaded = from_text(text);
  EXPECT_EQ(tags, tags_of(loaded));
  EXPECT_EQ(std::make_tuple(true, 12u, std::uint64_t(3456789)),
            std::make_tuple(loaded.m_generator.m_known, loaded.m_generator.m_seed, loaded.m_generator.m_draws));
  EXPECT_EQ(text, to_text(loaded));
  FoamMesh const untagged = from_text(text.substr(0, text.find("tags ")));
  std::reverse(tags.begin(), tags.end());
  EXPECT_EQ(tags, tags_of(untagged));
  EXPECT_FALSE(untagged.m_generator.m_known);

  // A file written by hand, with comments, blank lines and Windows line ends,
  // is written back in the documented layout.
  FoamMesh const commented = from_text(
      "# a foam written by hand\r\nfroth-foam 1\r\n\r\nfilm_tension 0.5\r\n  # tension above\r\n"
      "outside_pressure 1\r\njunctions 4\r\n0 0\r\n0 1\r\n1 1\r\n1 0\r\nbubbles 2\r\n"
      "2 1 0 4 0 1 2 3\r\n1 0 1 4 3 2 1 0\r\n");
  EXPECT_TRUE(MeshIsValid(commented));
  EXPECT_EQ(to_text(commented),
            "froth-foam 1\nfilm_tension 0.5\noutside_pressure 1\njunctions 4\n0 0\n0 1\n1 1\n1 0\nbubbles 2\n"
            "2 1 0 4 0 1 2 3\n1 0 1 4 3 2 1 0\nreversed_films 0\n");
}

// A coarsened foam (removed records leave gaps in the handle numbering that
// the file's positions must close) saves, loads, saves to the same bytes and
// then coarsens exactly as the original.
TEST(FoamFileSimulation, FoamLoadedAfterACoarseningRunGoesOnExactlyAsTheOriginal) {
  FoamMesh original = froth_test::make_generated_foam(5, 120);
  std::size_t const before = original.face_size();
  coarsen(original, 30);
  ASSERT_LT(original.face_size(), before);
  FoamMesh loaded = from_text(to_text(original));
  EXPECT_TRUE(MeshIsValid(loaded));
  EXPECT_EQ(to_text(original), to_text(loaded));
  Quarvel::kordal::seed_random_generator(3);
  coarsen(original, 20);
  Quarvel::kordal::seed_random_generator(3);
  coarsen(loaded, 20);
  EXPECT_EQ(to_text(original), to_text(loaded));
}

// A valid file to break: one square bubble (clockwise) and the outer bubble.
std::string const square =
    "froth-foam 1\nfilm_tension 0.25\noutside_pressure 1\njunctions 4\n0 0\n0 1\n1 1\n1 0\n"
    "bubbles 2\n1 1 0 4 0 1 2 3\n1 0 1 4 3 2 1 0\n";

std::string replace(std::string text, std::string const& from, std::string const& to) {
  auto const at = text.find(from);
  EXPECT_NE(std::string::npos, at) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

struct BadFile {
  char const* what;
  std::string text;
  unsigned line;
  char const* message;
};

TEST(FoamFileErrors, EveryBadInputGivesOneLineWithFileAndLine) {
  std::vector<BadFile> const cases = {
      {"empty file", "", 1, "empty file"},
      {"comments only", "# nothing\n# here\n", 3, "no foam in the file"},
      {"wrong header", replace(square, "froth-foam 1", "froth-fom 1"), 1, "not a foam file"},
      {"wrong version", replace(square, "froth-foam 1", "froth-foam 2"), 1, "unsupported version 2"},
      {"version not a number", replace(square, "froth-foam 1", "froth-foam one"), 1, "is not a whole number"},
      {"missing film tension", replace(square, "film_tension 0.25", "tension 0.25"), 2, "film_tension"},
      {"negative film tension", replace(square, "film_tension 0.25", "film_tension -1"), 2, "must not be negative"},
      {"infinite outside pressure", replace(square, "outside_pressure 1", "outside_pressure inf"), 3, "is not finite"},
      {"fewer junction lines than counted", replace(square, "junctions 4", "junctions 5"), 9,
       "only 4 junction lines, but 5 declared on line 4"},
      {"more junction lines than counted", replace(square, "junctions 4", "junctions 3"), 8, "expected 'bubbles"},
      {"fewer bubble lines than counted", replace(square, "bubbles 2", "bubbles 3"), 12, "file ends after 2 of the 3"},
      {"more bubble lines than counted", replace(square, "bubbles 2", "bubbles 1"), 11, "more bubble lines"},
      {"file ends in the junctions", "froth-foam 1\nfilm_tension 0.25\noutside_pressure 1\njunctions 2\n0 0\n", 6,
       "file ends after 1 of the 2"},
      {"non-number", replace(square, "0 1\n", "0 x1\n"), 6, "'x1' is not a number"},
      {"zero byte in a number", replace(square, "0 1\n", std::string("0 1\0x\n", 6)), 6, "is not a number"},
      {"endless line, as from /dev/zero", std::string(2 << 20, '\0'), 1, "line longer than 1048576 bytes"},
      {"count beyond memory", replace(square, "junctions 4", "junctions 1000000000000000"), 4, "is too large"},
      {"trailing junk in a number", replace(square, "1 1\n", "1 1.5.5\n"), 7, "is not a number"},
      {"NaN", replace(square, "1 0\n", "nan 0\n"), 8, "is not finite"},
      {"infinite pressure", replace(square, "1 1 0 4", "-inf 1 0 4"), 10, "is not finite"},
      {"overflowing number", replace(square, "1 1 0 4", "1 1e999 0 4"), 10, "is not finite"},
      {"junction line with three fields", replace(square, "0 1\n", "0 1 0\n"), 6, "found 3 fields"},
      {"index out of range", replace(square, "0 1 2 3\n", "0 1 2 40\n"), 10, "junction index 40 out of range (0..3)"},
      {"negative index", replace(square, "0 1 2 3\n", "0 1 2 -3\n"), 10, "is not a whole number"},
      {"loop of two junctions", replace(square, "1 1 0 4 0 1 2 3", "1 1 0 2 0 1"), 10, "at least 3 junctions"},
      {"count and list disagree", replace(square, "1 1 0 4 0 1 2 3", "1 1 0 4 0 1 2"), 10,
       "declares 4 junctions but lists 3"},
      {"junction repeated in a loop", replace(square, "1 1 0 4 0 1 2 3", "1 1 0 4 0 1 0 3"), 10,
       "junction 0 appears twice"},
      {"outer flag not 0 or 1", replace(square, "1 1 0 4", "1 1 2 4"), 10, "outer must be 0 or 1"},
      {"two outer bubbles", replace(square, "1 1 0 4", "1 1 1 4"), 11, "second outer bubble (the first is on line 10)"},
      {"a bubble the mesh refuses", replace(square, "1 0 1 4 3 2 1 0", "1 0 1 4 1 2 3 0"), 11,
       "the mesh refuses this bubble"},
      {"a junction whose fans the bubble would cut apart",
       "froth-foam 1\nfilm_tension 0\noutside_pressure 1\njunctions 8\n0 0\n1 0\n0 1\n-1 -1\n5 5\n5 6\n-5 5\n-5 6\n"
       "bubbles 5\n1 1 0 3 0 4 5\n1 1 0 3 0 6 7\n1 1 0 3 0 1 2\n1 1 0 3 0 2 3\n1 1 0 3 0 3 1\n",
       18, "the mesh refuses this bubble"},
      {"reversed film that does not exist", square + "reversed_films 1\n0 2\n", 13, "no film joins junctions 0 and 2"},
      {"reversed film that is not reversed", square + "reversed_films 1\n0 1\n", 13, "already runs that way"},
      {"reversed film listed twice", square + "reversed_films 2\n1 0\n1 0\n", 14, "already runs that way"},
      {"fewer reversed film lines than counted", square + "reversed_films 2\n1 0\n", 14,
       "file ends after 1 of the 2 reversed films"},
      {"more reversed film lines than counted", square + "reversed_films 1\n1 0\n2 1\n", 14,
       "more reversed film lines"},
      {"reversed film index out of range", square + "reversed_films 1\n1 4\n", 13,
       "junction index 4 out of range (0..3)"},
      {"tags for another bubble count", square + "tags 1\n5\n", 12, "tags 1 for the 2 bubbles"},
      {"a tag given twice", square + "tags 2\n7\n7\n", 14, "tag 7 is given to two bubbles"},
      {"tags before the reversed films", square + "tags 2\n0\n1\nreversed_films 0\n", 15, "more tag lines"},
      {"generator without its draws", square + "generator 5\n", 12, "expected 'generator <seed> <draws>'"},
      {"a line after the generator", square + "generator 5 10\n1 0\n", 13, "nothing may follow"},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.what);
    FoamMesh foam;
    froth_test::make_hexagon_foam(foam, 1, true);
    std::string const kept = to_text(foam);
    std::istringstream in(c.text);
    std::string error;
    EXPECT_FALSE(read_foam(in, "foam.txt", foam, error));
    std::string const prefix = "foam.txt:" + std::to_string(c.line) + ": ";
    EXPECT_EQ(prefix, error.substr(0, prefix.size())) << error;
    EXPECT_NE(std::string::npos, error.find(c.message)) << error;
    EXPECT_EQ(std::string::npos, error.find('\n')) << error;
    // A refused file leaves the foam it was to replace as it was.
    EXPECT_EQ(kept, to_text(foam));
  }
}

// Saving replaces whole files, leaves no temporary file and gives the mode of
// a new file, not the temporary file's 0600. Missing files and directories
// are errors of one line with the path, and leave the foam as it was (bad
// files with their path and line: check_batch_outputs.py).
TEST(FoamFileOnDisk, SaveReplacesWholeFilesAndErrorsNameThePath) {
  froth_test::ScratchDirectory dir;
  std::string const path = dir.file("a.foam");
  FoamMesh const second = froth_test::make_generated_foam(2, 40);
  std::string error;
  ASSERT_TRUE(Quarvel::kordal::save_foam(froth_test::make_preset_foam(3), path, error)) << error;
  ASSERT_TRUE(Quarvel::kordal::save_foam(second, path, error)) << error;
  EXPECT_EQ(std::vector<std::string>{"a.foam"}, dir.entries());
  FoamMesh foam;
  ASSERT_TRUE(Quarvel::kordal::load_foam(path, foam, error)) << error;
  EXPECT_EQ(to_text(second), to_text(foam));
  mode_t const mask = ::umask(0);
  ::umask(mask);
  struct stat st {};
  ASSERT_EQ(0, ::stat(path.c_str(), &st));
  EXPECT_EQ(0666 & ~mask, st.st_mode & 0777);

  std::string const missing = dir.file("nothing.foam");
  EXPECT_FALSE(Quarvel::kordal::load_foam(missing, foam, error));
  EXPECT_EQ(missing + ": cannot open (No such file or directory)", error);
  EXPECT_FALSE(Quarvel::kordal::load_foam(dir.path(), foam, error));
  EXPECT_NE(std::string::npos, error.find("Is a directory")) << error;
  std::string const nowhere = dir.file("no/such/dir/a.foam");
  EXPECT_FALSE(Quarvel::kordal::save_foam(second, nowhere, error));
  EXPECT_EQ(nowhere + ": ", error.substr(0, nowhere.size() + 2)) << error;
  EXPECT_EQ(to_text(second), to_text(foam));
  EXPECT_EQ(std::vector<std::string>{"a.foam"}, dir.entries());
}

}  // namespace
