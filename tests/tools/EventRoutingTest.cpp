#include <gtest/gtest.h>

#include <vector>

#include "ControlTokens.h"
#include "EventRouting.h"
#include "events/ControlTokenMessages.h"
#include "events/ContainerBuilder.h"

namespace {
std::vector<uint8_t> DisplayFormat(uint16_t width, uint16_t height) {
  return BytesOf(DisplayFormatMessage{7, width, height});
}

bool Find(uint32_t type, const std::vector<uint8_t>& p, uint16_t* w, uint16_t* h) {
  return FindFrameSize(type, p.data(), static_cast<uint32_t>(p.size()), w, h);
}
}  // namespace

TEST(EventRouting, FrameSizeComesFromADisplayFormatAloneOrInsideAContainer) {
  uint16_t w = 0, h = 0;
  ASSERT_TRUE(Find(ZKP_DISPLAYFORMAT, DisplayFormat(624, 600), &w, &h));
  EXPECT_EQ(w, 624);
  EXPECT_EQ(h, 600);

  auto container = ContainerBuilder(0x10002)
                       .Record(ZKP_DISPLAYFORMAT, DisplayFormat(1920, 1080))
                       .Record(ZKP_PALETTE, std::vector<uint8_t>(1028, 0))
                       .Record(ZKP_DISPLAYUPDATE, std::vector<uint8_t>(20, 0))
                       .Build();
  ASSERT_TRUE(Find(ZKP_FULLUPDATE, container, &w, &h));
  EXPECT_EQ(w, 1920);
  EXPECT_EQ(h, 1080);

  auto nested =
      ContainerBuilder(1)
          .Record(ZKP_ANNOTATIONMODE, AnnotationModeMessage{0, 0})
          .Record(ZKP_FULLUPDATE,
                  ContainerBuilder(2).Record(ZKP_DISPLAYFORMAT, DisplayFormat(40, 30)).Build())
          .Build();
  ASSERT_TRUE(Find(ZKP_FULLUPDATE, nested, &w, &h));
  EXPECT_EQ(w, 40);
  EXPECT_EQ(h, 30);
}

TEST(EventRouting, ShortOrLyingPayloadsYieldNothing) {
  uint16_t w = 0, h = 0;
  EXPECT_FALSE(Find(ZKP_DISPLAYFORMAT, std::vector<uint8_t>(7, 0), &w, &h));
  EXPECT_FALSE(Find(ZKP_DISPLAYUPDATE, DisplayFormat(1, 1), &w, &h));

  // The record claims more bytes than the container holds: not read.
  auto lying =
      ContainerBuilder(1).RecordClaiming(ZKP_DISPLAYFORMAT, 0xFF, DisplayFormat(64, 64)).Build();
  EXPECT_FALSE(Find(ZKP_FULLUPDATE, lying, &w, &h));
  // The record-byte count claims more than the payload: clipped to it.
  auto clipped =
      ContainerBuilder(1).Record(ZKP_DISPLAYFORMAT, DisplayFormat(64, 48)).BuildClaiming(0xFFFFFFFF);
  ASSERT_TRUE(Find(ZKP_FULLUPDATE, clipped, &w, &h));
  EXPECT_EQ(w, 64);
  // Truncated in the middle of the display format record.
  auto truncated = ContainerBuilder(1).Record(ZKP_DISPLAYFORMAT, DisplayFormat(64, 48)).Build();
  truncated.resize(truncated.size() - 3);
  EXPECT_FALSE(Find(ZKP_FULLUPDATE, truncated, &w, &h));
}

namespace {
ViewerEventRoute Route(uint32_t type, const std::vector<uint8_t>& p, uint32_t heldToken) {
  return RouteViewerEvent(type, p.data(), static_cast<uint32_t>(p.size()), heldToken);
}
}  // namespace

TEST(EventRouting, APresenterAcceptsOnlyWhatViewersProduce) {
  const std::vector<uint8_t> none;
  for (uint32_t type : {6u, 7u, 11u})
    EXPECT_EQ(Route(type, none, 0), ViewerEventRoute::kToAnnotation) << type;
  for (uint32_t type : {0u, 1u, 2u, 5u, 8u, 9u, 10u, 12u, 0x101u, 0x7FFFu})
    EXPECT_EQ(Route(type, none, 7), ViewerEventRoute::kDropped) << type;
  EXPECT_EQ(Route(ZKH_REQUESTCONTROL, none, 0), ViewerEventRoute::kToTokenService);
  EXPECT_EQ(Route(ZKH_RELEASECONTROL, none, 0), ViewerEventRoute::kToTokenService);
}

TEST(EventRouting, InputGoesOnOnlyFromTheHolderUnderItsOwnToken) {
  auto mouse = [](uint32_t token) { return BytesOf(MouseMessage{token, 0x201, 1, {5, 6}}); };
  auto key = [](uint32_t token) { return BytesOf(KeyboardMessage{token, 0x100, 'H', 0x230001}); };
  EXPECT_EQ(Route(ZKP_MOUSEUPDATE, mouse(3), 3), ViewerEventRoute::kToLibrary);
  EXPECT_EQ(Route(ZKP_KEYBOARDUPDATE, key(3), 3), ViewerEventRoute::kToLibrary);
  EXPECT_EQ(Route(ZKP_MOUSEUPDATE, mouse(3), 0), ViewerEventRoute::kRefused) << "no control";
  EXPECT_EQ(Route(ZKP_KEYBOARDUPDATE, key(2), 3), ViewerEventRoute::kRefused) << "stale token";
  EXPECT_EQ(Route(ZKP_MOUSEUPDATE, mouse(0xFFFFFFFF), 3), ViewerEventRoute::kRefused)
      << "a token the service never gave";
  std::vector<uint8_t> shortMouse = mouse(3);
  shortMouse.resize(15);
  EXPECT_EQ(Route(ZKP_MOUSEUPDATE, shortMouse, 3), ViewerEventRoute::kRefused);
}

TEST(ControlTokens, EachRequestGetsAHigherTokenAndTheNewestHoldsControl) {
  ControlTokens tokens;
  ControlTokens::Grant first = tokens.Request(1);
  EXPECT_EQ(first.preempted, 0u);
  EXPECT_EQ(tokens.HeldToken(1), first.token);
  ControlTokens::Grant second = tokens.Request(2);
  EXPECT_GT(second.token, first.token);
  EXPECT_EQ(second.preempted, 1u);
  EXPECT_EQ(tokens.HeldToken(1), 0u);
  EXPECT_EQ(tokens.HeldToken(2), second.token);
  EXPECT_FALSE(tokens.Release(1)) << "it lost control already";
  EXPECT_TRUE(tokens.Release(2));
  EXPECT_EQ(tokens.Holder(), 0u);
  ControlTokens::Grant again = tokens.Request(1);
  EXPECT_GT(again.token, second.token);
  EXPECT_EQ(again.preempted, 0u);
  EXPECT_EQ(tokens.Request(1).preempted, 0u) << "asking twice preempts nobody";
}

TEST(ControlTokens, ARequestThatWaitsForConsentIsGrantedOrDeniedOnce) {
  ControlTokens tokens;
  EXPECT_TRUE(tokens.Ask(1));
  EXPECT_FALSE(tokens.Ask(1)) << "one request per viewer waits";
  EXPECT_TRUE(tokens.Ask(2));
  EXPECT_EQ(tokens.HeldToken(1), 0u) << "asking is not holding";
  ControlTokens::Grant grant = {};
  EXPECT_FALSE(tokens.Allow(3, &grant));
  ASSERT_TRUE(tokens.Allow(1, &grant));
  EXPECT_EQ(tokens.HeldToken(1), grant.token);
  EXPECT_FALSE(tokens.Allow(1, &grant)) << "granted already";
  EXPECT_TRUE(tokens.Deny(2));
  EXPECT_FALSE(tokens.Deny(2));
  EXPECT_TRUE(tokens.Asking().empty());
  EXPECT_EQ(tokens.Revoke(), 1u);
  EXPECT_EQ(tokens.HeldToken(1), 0u);
  EXPECT_EQ(tokens.Revoke(), 0u);
  tokens.Ask(4);
  tokens.Request(4);
  tokens.Forget(4);
  EXPECT_EQ(tokens.Holder(), 0u);
  EXPECT_TRUE(tokens.Asking().empty());
}
