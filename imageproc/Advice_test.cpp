// Advice on drawn camera scenes, each written and read back as PNG, JPEG and BMP the
// way a check reads a capture: every finding is raised on the scene that calls for it
// and stays silent on a clean backlit part seen by a noisy colour camera.
#include "imageproc/Advice.h"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>
#include <string>

#include "imageproc/ImageProc.h"
#include "test/Scenes.h"
#include "test/TestUtil.h"

namespace corvantis {
namespace {

using test::Background;
using test::Part;
using test::Scene;

const char* const kFormats[] = {"png", "jpg", "bmp"};

// The advice codes on `scene` after a round trip through a file of `format`.
std::string codesOn(const Scene& scene, const std::string& format) {
  test::TempDir dir;
  const std::string path = dir.file("scene." + format);
  if (!cv::imwrite(path, test::drawScene(scene))) return "(not written)";
  ImageProc proc;
  const Status loaded = proc.load(path);
  if (!loaded.ok()) return "(not read: " + loaded.message() + ")";
  proc.getFeatureVector();
  return adviceCodes(adviseOn(proc.measures()));
}

Scene cleanBacklitScene() {
  Scene scene;
  scene.noise = 4;
  scene.colour = true;
  return scene;
}

// `scene` gets exactly `codes` in every format, the clean scene none of them.
void expectRaisedThereOnly(const Scene& scene, const std::string& codes) {
  for (const char* format : kFormats) {
    SCOPED_TRACE(test::sceneName(scene) + " as " + format);
    EXPECT_EQ(codes, codesOn(scene, format));
    EXPECT_EQ("", codesOn(cleanBacklitScene(), format));
  }
}

TEST(AdviceTest, SpeckleOnAGreyTray) {
  Scene tray = cleanBacklitScene();
  tray.background = Background::kTray;
  expectRaisedThereOnly(tray, "speckle");
}

TEST(AdviceTest, SpeckleOnABacklightThatClipsOverHalfTheFrame) {
  Scene halfClipped;
  halfClipped.background = Background::kEdgeOfClip;
  halfClipped.noise = 4;
  expectRaisedThereOnly(halfClipped, "speckle");
}

TEST(AdviceTest, CornerCapOnAPlateWithManyHoles) {
  Scene plate;
  plate.part = Part::kPerforatedPlate;
  plate.partSize = 0.8;
  plate.noise = 4;
  expectRaisedThereOnly(plate, "corner-cap");
}

TEST(AdviceTest, NoObjectOnAnEmptyBacklight) {
  Scene empty = cleanBacklitScene();
  empty.part = Part::kNone;
  expectRaisedThereOnly(empty, "no-object");
}

TEST(AdviceTest, FillsFrameWhenThePartReachesEveryEdge) {
  Scene close = cleanBacklitScene();
  close.partSize = 1.4;
  expectRaisedThereOnly(close, "fills-frame");
}

}  // namespace
}  // namespace corvantis
