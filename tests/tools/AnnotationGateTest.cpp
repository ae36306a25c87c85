#include <gtest/gtest.h>

#include <vector>

#include "AnnotationGate.h"
#include "PeerLimits.h"
#include "events/AnnotationMessages.h"
#include "events/MessageBytes.h"

namespace {
using Verdict = AnnotationGate::Verdict;

std::vector<uint8_t> Marker(int32_t x) {
  return BytesOf(AnnotationMessage{kAnnotationMarker, 0, x, 10, x + 16, 26, 0xFF});
}
std::vector<uint8_t> ClearAll() { return BytesOf(AnnotationMessage{kAnnotationClearAll, 1, 0, 0, 0, 0, 0}); }
std::vector<uint8_t> Mode(uint32_t token, uint8_t on) {
  return BytesOf(AnnotationModeMessage{token, on});
}

class Gate : public ::testing::Test {
 protected:
  Verdict From(uint32_t viewer, uint32_t type, const std::vector<uint8_t>& payload) {
    return gate.FromViewer(viewer, type, payload.data(), static_cast<uint32_t>(payload.size()));
  }
  void Presenter(uint32_t type, const std::vector<uint8_t>& payload) {
    gate.FromPresenter(type, payload.data(), static_cast<uint32_t>(payload.size()));
  }
  // The presenter allows annotation and its library is in annotation mode.
  void Annotating() {
    gate.SetAllowed(true);
    Presenter(ZKP_ANNOTATIONMODE, Mode(7, 1));
  }
  AnnotationGate gate;
};
}  // namespace

TEST_F(Gate, NothingPassesWhileThePresenterForbidsAnnotation) {
  Presenter(ZKP_ANNOTATIONMODE, Mode(7, 1));
  EXPECT_EQ(From(1, ZKP_ANNOTATIONMODE, Mode(0, 1)), Verdict::kRefused);
  EXPECT_EQ(From(1, ZKP_ANNOTATION, Marker(0)), Verdict::kRefused);
  EXPECT_EQ(From(1, ZKP_ENDANNOTATION, {0}), Verdict::kRefused);
  gate.SetAllowed(true);
  EXPECT_EQ(From(1, ZKP_ANNOTATION, Marker(0)), Verdict::kToEveryone);
}

TEST_F(Gate, AViewersModeRequestReachesThePresenterAloneAndLetsItsMarksFollow) {
  gate.SetAllowed(true);
  EXPECT_EQ(From(1, ZKP_ANNOTATION, Marker(0)), Verdict::kRefused) << "mode off";
  EXPECT_EQ(From(1, ZKP_ANNOTATIONMODE, Mode(7, 1)), Verdict::kToPresenter)
      << "even carrying the presenter's token, it is not relayed";
  // The mark may overtake the presenter's answer to the request.
  EXPECT_EQ(From(1, ZKP_ANNOTATION, Marker(0)), Verdict::kToEveryone);
  Presenter(ZKP_ANNOTATIONMODE, Mode(7, 0));
  EXPECT_EQ(gate.Marks(), 0u) << "leaving the mode clears the marks";
  EXPECT_EQ(From(1, ZKP_ANNOTATION, Marker(0)), Verdict::kRefused);
}

TEST_F(Gate, OnlyTheFormsTheLibrariesProducePass) {
  Annotating();
  std::vector<uint8_t> huge = Marker(0);
  huge.resize(9u << 20);
  EXPECT_EQ(From(1, ZKP_ANNOTATION, huge), Verdict::kRefused);
  std::vector<uint8_t> shortMark = Marker(0);
  shortMark.resize(kAnnotationSize - 1);
  EXPECT_EQ(From(1, ZKP_ANNOTATION, shortMark), Verdict::kRefused);
  EXPECT_EQ(From(1, ZKP_ANNOTATION, BytesOf(AnnotationMessage{kAnnotationClearAll, 0, 0, 0, 0, 0, 0})),
            Verdict::kRefused)
      << "a clear-all the library ignores";
  EXPECT_EQ(From(1, ZKP_ANNOTATION, BytesOf(AnnotationMessage{3, 0, 1, 1, 2, 2, 0})),
            Verdict::kRefused);
  EXPECT_EQ(From(1, ZKP_ENDANNOTATION, {0, 0}), Verdict::kRefused);
  EXPECT_EQ(From(1, ZKP_ANNOTATIONMODE, {1, 0, 0}), Verdict::kRefused);
  EXPECT_EQ(From(1, ZKP_MOUSEUPDATE, Marker(0)), Verdict::kRefused);
  EXPECT_EQ(gate.Marks(), 0u);
}

TEST_F(Gate, MarksAreBoundedPerViewerAndPerSessionUntilCleared) {
  Annotating();
  for (size_t i = 0; i < kMaxMarksPerViewer; ++i)
    ASSERT_EQ(From(1, ZKP_ANNOTATION, Marker(int32_t(i))), Verdict::kToEveryone) << i;
  EXPECT_EQ(From(1, ZKP_ANNOTATION, Marker(0)), Verdict::kRefused) << "past its own bound";
  EXPECT_EQ(From(2, ZKP_ANNOTATION, Marker(0)), Verdict::kToEveryone) << "another viewer's";

  // The presenter's own marks count towards the session's bound.
  while (gate.Marks() < kMaxSessionMarks) Presenter(ZKP_ANNOTATION, Marker(0));
  EXPECT_EQ(From(3, ZKP_ANNOTATION, Marker(0)), Verdict::kRefused) << "past the session's bound";

  EXPECT_EQ(From(3, ZKP_ANNOTATION, ClearAll()), Verdict::kToEveryone);
  EXPECT_EQ(From(1, ZKP_ANNOTATION, Marker(0)), Verdict::kToEveryone) << "cleared";
  Presenter(ZKP_ANNOTATION, ClearAll());
  EXPECT_EQ(gate.Marks(), 0u);

  gate.ViewerLeft(1);
  for (size_t i = 0; i < kMaxMarksPerViewer; ++i)
    ASSERT_EQ(From(1, ZKP_ANNOTATION, Marker(0)), Verdict::kToEveryone) << i;
}
