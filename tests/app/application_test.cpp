#include "app/application.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>

#include "app/console_capture.h"
#include "foam/dual_foam.h"
#include "foam/foam_geometry.h"
#include "foam/random_source.h"
#include "polymesh/mesh_builders.h"
#include "render/foam_renderer.h"

namespace {

using namespace froth_test;

TEST(ApplicationFrame, ConstructionAndInitSetTheWindowAndStartUpValues) {
  Application app;
  EXPECT_EQ(std::make_tuple(960, 540, 0, 30.0, 0.1, 700.0, false, false, 0.25, 0.25),
            std::tie(app.m_width, app.m_height, app.m_window, app.m_fovy, app.m_z_near, app.m_z_far, app.m_idle,
                     app.m_capture, app.m_zoom_sensitivity, app.m_pan_sensitivity));
  EXPECT_NEAR(app.m_statistics.m_reference_angle, 2 * M_PI / 3, 1e-15);
  EXPECT_EQ(app.m_overlay.m_anchor, 1);
  EXPECT_TRUE(app.m_overlay.m_visible);

  app.m_keys['a'] = true;
  app.m_site_count = 17;
  ConsoleCapture console;
  app.init();
  EXPECT_EQ(console.take(),
            "Rotating: hold down left mouse button\n"
            "Zooming: hold down middle mouse button\n"
            "Panning: press shift and hold down left mouse button\n");
  EXPECT_EQ(
      std::make_tuple(vector3_type(0, 0, 100), vector3_type(0, 0, 0), false, true),
      std::tie(app.m_camera.m_position, app.m_camera.m_target, app.m_camera.m_target_locked, app.m_camera.m_orbit));
  for (bool key : app.m_keys) EXPECT_FALSE(key);
  EXPECT_EQ(std::make_tuple(1.0, 0u, 0u, false, false, 200, vector3_type(0, 0, 0), true, 0.75),
            std::tie(app.m_pressure_scale, app.m_bubble, app.m_junction, app.m_stretching, app.m_resizing_sites,
                     app.m_site_count, app.m_last_mouse, app.m_filled, app.m_fill_intensity));
  EXPECT_EQ(std::make_tuple(0.25, 0.1, 4u, 0.5, 0.05, 0.05),
            std::make_tuple(app.m_quisk.m_film_tension, app.m_quisk.permeability(), app.m_quisk.m_max_iterations,
                            app.m_quisk.m_tau, app.m_quisk.m_t1_threshold, app.m_quisk.m_t2_threshold));
  // No foam and no sites: the first foam comes from a generation key.
  EXPECT_TRUE(app.m_sites.empty());
  EXPECT_EQ(app.m_foam.face_size() + app.m_statistics.m_cell_count, 0u);
  EXPECT_DOUBLE_EQ(app.m_statistics.m_mean_target_area, 1.0);
}

TEST(ApplicationFrame, CameraKeysReportTheirNewStateAndCaptureKeyOnlySetsTheFlag) {
  Application app;
  start(app);
  EXPECT_EQ(press(app, "o"), "orbit mode off \n");
  EXPECT_FALSE(app.m_camera.m_orbit);
  EXPECT_EQ(press(app, "o"), "orbit mode on\n");
  EXPECT_EQ(press(app, "l"), "target is locked\n");
  EXPECT_TRUE(app.m_camera.m_target_locked);
  EXPECT_EQ(press(app, "l"), "target is free \n");
  EXPECT_EQ(press(app, "yy"), "");
  EXPECT_TRUE(app.m_capture);
  // The frame consumed them: their toggles never flipped.
  EXPECT_FALSE(app.m_keys['o'] || app.m_keys['l'] || app.m_keys['y']);
}

TEST(ApplicationFrame, MiddleDragZoomsShiftDragPansAndReleaseEndsBoth) {
  Application app;
  start(app);
  app.m_zoom_sensitivity = app.m_pan_sensitivity = 0.1;
  auto const& eye = app.m_camera.m_position;
  app.mouse_down(100, 100, false, false, false, false, true, false);
  EXPECT_TRUE(app.m_zoom_mode);
  app.mouse_move(100, 150);  // down by 50 pixels: 5 units towards the target
  EXPECT_NEAR(eye.z, 95.0, 1e-12);
  app.mouse_up(100, 160, false, false, false, false, true, false);
  EXPECT_NEAR(eye.z, 94.0, 1e-12);
  EXPECT_NEAR(app.m_camera.m_target.z, -6.0, 1e-12);  // target free: moves along
  EXPECT_FALSE(app.m_zoom_mode);

  app.mouse_down(200, 200, true, false, false, true, false, false);
  EXPECT_TRUE(app.m_pan_mode);
  EXPECT_FALSE(app.m_resizing_sites);
  app.mouse_move(230, 180);  // right 30 and up 20: the camera moves left 3 and down 2
  EXPECT_NEAR(eye.x, -3.0, 1e-12);
  EXPECT_NEAR(eye.y, -2.0, 1e-12);
  app.mouse_up(230, 180, true, false, false, true, false, false);
  EXPECT_FALSE(app.m_pan_mode);

  // alt + shift + left starts both modes; only zoom acts.
  app.mouse_down(10, 10, true, false, true, true, false, false);
  EXPECT_TRUE(app.m_zoom_mode && app.m_pan_mode);
  app.mouse_move(50, 20);
  EXPECT_NEAR(eye.x, -3.0, 1e-12);
  EXPECT_NEAR(eye.z, 93.0, 1e-12);
  app.mouse_up(50, 20, true, false, true, true, false, false);
  EXPECT_FALSE(app.m_zoom_mode || app.m_pan_mode);
  // Passive motion after the release moves nothing.
  app.mouse_move(0, 0);
  EXPECT_NEAR(eye.x, -3.0, 1e-12);
  EXPECT_NEAR(eye.z, 93.0, 1e-12);
}

TEST(StatisticsRefresh, HandsTheEventCountsOverOnlyWhileTheOverlayIsVisible) {
  Application app;
  start(app);
  app.m_quisk.m_t1_count = 3;
  app.m_quisk.m_t2_count = 2;
  app.refresh_statistics(0.25);
  EXPECT_EQ(std::make_tuple(3u, 2u, 0u, 0u, 0.25),
            std::tie(app.m_statistics.m_t1_total, app.m_statistics.m_t2_total, app.m_quisk.m_t1_count,
                     app.m_quisk.m_t2_count, app.m_statistics.m_step_time));

  // Hidden: the simulator keeps counting, the totals and the time stay.
  app.m_overlay.m_visible = false;
  app.m_quisk.m_t1_count = 4;
  app.m_quisk.m_t2_count = 1;
  app.refresh_statistics(0.5);
  EXPECT_EQ(std::make_tuple(3u, 4u, 0.25),
            std::tie(app.m_statistics.m_t1_total, app.m_quisk.m_t1_count, app.m_statistics.m_step_time));
  app.m_quisk.m_t1_count += 2;

  // Showing the panel again ('0') collects what accumulated meanwhile.
  EXPECT_EQ(press(app, "0"), "");
  EXPECT_TRUE(app.m_overlay.m_visible);
  EXPECT_EQ(std::make_tuple(9u, 3u, 0u, 0.0), std::tie(app.m_statistics.m_t1_total, app.m_statistics.m_t2_total,
                                                       app.m_quisk.m_t1_count, app.m_statistics.m_step_time));
}

TEST(IdleStep, EmptyFoamStopsAfterTheFirstStep) {
  Application app;
  start(app);
  EXPECT_EQ(press(app, " "), "\nsimulation started!\n");
  EXPECT_TRUE(app.m_idle);
  ConsoleCapture console;
  app.run();
  EXPECT_EQ(console.take(), "forced simulation stopped - too few bubbles!\n\nsimulation stopped!\n");
  EXPECT_FALSE(app.m_idle);
  // Space went through the command handler twice: its toggle is back off.
  EXPECT_FALSE(app.m_keys[' ']);
}

TEST(IdleStep, LargeFoamKeepsRunningAndRefreshesTheStatistics) {
  Quarvel::kordal::seed_random_generator(7);
  Application app;
  start(app);
  press(app, "r ");
  ASSERT_TRUE(app.m_idle);
  ConsoleCapture console;
  app.run_step();
  EXPECT_EQ(console.take(), "");
  EXPECT_TRUE(app.m_idle);
  EXPECT_GT(app.m_statistics.m_step_time, 0.0);
  EXPECT_GT(app.m_statistics.m_cell_count, 100u);
  EXPECT_FALSE(Quarvel::render::topology_broken(app.m_statistics));
  EXPECT_TRUE(MeshIsValid(app.m_foam));
  Quarvel::kordal::forget_random_seed();
}

TEST(IdleStep, FiveBubblesIncludingTheOuterOneStop) {
  Application app;
  start(app);
  // Four inner bubbles and the outer one: a 2 x 2 grid of squares.
  auto v = add_points(app.m_foam, {{0, 0}, {1, 0}, {2, 0}, {0, 1}, {1, 1}, {2, 1}, {0, 2}, {1, 2}, {2, 2}});
  for (int a : {0, 1, 3, 4}) app.m_foam.add_face(std::vector<vertex_handle>{v[a], v[a + 3], v[a + 4], v[a + 1]});
  for (auto& f : app.m_foam.faces()) {
    f.m_pressure = 1.0;
    f.m_target_area = Quarvel::kordal::compute_area(f);
  }
  Quarvel::kordal::close_open_boundary(app.m_foam, 1.0);
  ASSERT_EQ(app.m_foam.face_size(), 5u);
  press(app, " ");
  ConsoleCapture console;
  app.run_step();
  EXPECT_NE(console.take().find("forced simulation stopped - too few bubbles!"), std::string::npos);
  EXPECT_FALSE(app.m_idle);
}

}  // namespace
