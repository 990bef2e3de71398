#include "serverlink/store_document.h"

#include <cfloat>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "serverlink/server_clock.h"

namespace {

const char kStore[] =
    "# plant 1\r\n"
    "[clock]\r\n"
    "start = 2026-03-01T06:00:00Z\r\n"
    "started_at = 1772344800\r\n"
    "rate = 60\r\n"
    "local_offset = -18000\r\n"
    "\r\n"
    "[objects]\n"
    "  $SHUTDOWN =  int   0  \n"
    "$MOGB = float -1.5e3\n"
    "; a comment between objects\n"
    "$PACKVAULT = text  pass word \n"
    "EMPTY = text\n"
    "# trailing comment";

StoreDocument MustParse(const std::string& text) {
  StoreDocument doc;
  pv::Status st = StoreDocument::Parse(text, &doc);
  EXPECT_TRUE(st.ok()) << st.ToString();
  return doc;
}

TEST(StoreDocumentTest, ParsesAndEditsKeepingEveryOtherByte) {
  StoreDocument doc = MustParse(kStore);
  ASSERT_EQ(doc.size(), 4u);
  EXPECT_EQ(doc.Find("$shutdown"), 0u);  // names are case-sensitive
  EXPECT_EQ(doc.Find("EMPTY"), 4u);
  EXPECT_EQ(doc.Object(2).value.f, -1500.0f);
  EXPECT_EQ(doc.Object(3).value.text, "pass word ");  // leading blanks go, trailing stay
  const StoreClockConfig& c = doc.clock();
  EXPECT_EQ(c.start, 1772344800u);
  EXPECT_EQ(c.started_at, 1772344800);
  EXPECT_EQ(c.rate, 60.0);
  EXPECT_EQ(c.local_offset, -18000);
  EXPECT_EQ(doc.Serialize(), kStore);

  StoreValue v;
  ASSERT_TRUE(ParseStoreValue(StoreType::kInt, "-7", &v).ok());
  ASSERT_TRUE(doc.Set(1, v).ok());
  ASSERT_TRUE(ParseStoreValue(StoreType::kText, "new code", &v).ok());
  ASSERT_TRUE(doc.Set(4, v).ok());
  std::string expected = kStore;
  expected.replace(expected.find("  $SHUTDOWN =  int   0  \n"), 25, "  $SHUTDOWN =  int -7\n");
  expected.replace(expected.find("EMPTY = text\n"), 13, "EMPTY = text new code\n");
  EXPECT_EQ(doc.Serialize(), expected);
  EXPECT_EQ(MustParse(doc.Serialize()).Object(4).value.text, "new code");
  // A value of another type, or an unknown number, changes nothing.
  EXPECT_TRUE(doc.Set(1, v).IsInvalidArgument());
  EXPECT_TRUE(doc.Set(5, v).IsNotFound());
  EXPECT_EQ(doc.Serialize(), expected);

  // Add appends after the last object, or creates [objects] after an
  // unterminated last line.
  ASSERT_TRUE(ParseStoreValue(StoreType::kFloat, "2.5", &v).ok());
  uint32_t number = 0;
  ASSERT_TRUE(doc.Add("NEW", v, &number).ok());
  EXPECT_EQ(number, 5u);
  expected.insert(expected.find("# trailing"), "NEW = float 2.5\n");
  EXPECT_EQ(doc.Serialize(), expected);
  EXPECT_TRUE(doc.Add("NEW", v, &number).IsInvalidArgument());
  EXPECT_TRUE(doc.Add("bad name", v, &number).IsInvalidArgument());
  StoreDocument bare = MustParse("# only a comment");
  ASSERT_TRUE(bare.Add("A", v, &number).ok());
  EXPECT_EQ(number, 1u);
  EXPECT_EQ(bare.Serialize(), "# only a comment\n[objects]\nA = float 2.5\n");
}

// Every value written reads back the same: floats bit for bit; values that
// could not are refused.
TEST(StoreDocumentTest, ValuesReadBackOrAreRefused) {
  StoreDocument doc = MustParse("[objects]\nF = float 0\n");
  StoreValue v;
  v.type = StoreType::kFloat;
  for (float f : {0.0f, 768.0f, 0.1f, 89.99f, 1.0f / 3.0f, -2.5e-7f, FLT_MIN, FLT_MAX, FLT_TRUE_MIN,
                  16777217.0f, 1048575.9f}) {
    v.f = f;
    ASSERT_TRUE(doc.Set(1, v).ok());
    float got = MustParse(doc.Serialize()).Object(1).value.f;
    EXPECT_EQ(std::memcmp(&got, &f, sizeof f), 0) << f << " came back as " << got;
  }
  EXPECT_TRUE(ParseStoreValue(StoreType::kInt, "+42", &v).ok());
  EXPECT_EQ(v.i, 42);
  EXPECT_FALSE(ParseStoreValue(StoreType::kFloat, "inf", &v).ok());
  EXPECT_FALSE(ParseStoreValue(StoreType::kText, " lead", &v).ok());
  EXPECT_FALSE(ParseStoreValue(StoreType::kText, "two\nlines", &v).ok());
  EXPECT_TRUE(ParseStoreValue(StoreType::kText, "Gr\xFC\xDF" "e", &v).ok());  // Windows-1252
}

TEST(StoreDocumentTest, MalformedFilesNameTheLine) {
  struct Case {
    const char* text;
    const char* expect;  // a part of the message
  } cases[] = {
      {"[objects]\nA = int 1\nA = int 2\n", "line 3: object \"A\" defined twice"},
      {"[objects]\nA = int 2147483648\n", "line 2: object \"A\": \"2147483648\" is not a 32-bit"},
      {"[objects]\nA = float 1e39\n", "line 2: object \"A\": \"1e39\" is not a finite"},
      {"[objects]\nA int 1\n", "line 2: no '='"},
      {"A = int 1\n", "line 1: entry outside"},
      {"[object]\n", "line 1: unknown section [object]"},
      {"\n[objects]\n = int 1\n", "line 3: empty object name"},
      {"[objects]\nA234567890123456789012345678901234567890123456789012345678901234 = int 1\n",
       "longer than 63"},
      {"[objects]\nA = text a\x01z\n", "line 2: control character 0x01"},
      {"[clock]\nstart = 2026-02-30T00:00:00Z\nstarted_at = 0\n", "line 2: start"},
      {"[clock]\nstart = 2106-02-07T06:28:16Z\nstarted_at = 0\n", "line 2: start"},
      {"[clock]\nrate = -1\n", "line 2: rate"},
      {"[clock]\nlocal_offset = 90000\n", "line 2: local_offset"},
      {"[clock]\nspeed = 2\n", "line 2: unknown clock key \"speed\""},
      {"[clock]\nstart = 2026-03-01T06:00:00Z\n", "\"start\" and \"started_at\" must be given"},
      {"[clock]\nrate = 60\n", "\"rate\" needs"},
  };
  for (const Case& c : cases) {
    StoreDocument doc = MustParse("[objects]\nKEEP = int 1\n");
    pv::Status st = StoreDocument::Parse(c.text, &doc);
    EXPECT_TRUE(st.IsCorruption()) << c.text;
    EXPECT_NE(st.message().find(c.expect), std::string::npos) << st.message();
    EXPECT_EQ(doc.Find("KEEP"), 1u) << "a failed parse must leave the document alone";
  }
}

// Every damaged variant of a good file either parses (and then writes back
// byte for byte) or fails with Corruption; none may crash.
TEST(StoreDocumentTest, DamagedFilesFailCleanlyOrRoundTrip) {
  const std::string good = kStore;
  const char replacements[] = {'\0', '\n', '\r', '=', '[', ']', ' ', '#', 'x', '9', '\xFF'};
  int parsed = 0, refused = 0;
  auto check = [&](const std::string& text) {
    StoreDocument doc;
    pv::Status st = StoreDocument::Parse(text, &doc);
    if (st.ok()) {
      ++parsed;
      EXPECT_EQ(doc.Serialize(), text);
    } else {
      ++refused;
      EXPECT_TRUE(st.IsCorruption()) << st.ToString();
    }
  };
  for (size_t at = 0; at < good.size(); ++at) {
    check(good.substr(0, at));
    for (char r : replacements) {
      std::string text = good;
      text[at] = r;
      check(text);
    }
  }
  EXPECT_GT(parsed, 0);
  EXPECT_GT(refused, 0);
}

// The server clock a store's [clock] section describes.
class FakeTime : public RealTimeSource {
 public:
  int64_t now_us = 1772344800999999;  // the fraction is dropped
  int32_t zone_offset = 7200;
  int64_t asked_offset_at = -1;
  int64_t NowMicros() override { return now_us; }
  int32_t LocalOffsetAt(int64_t utc_seconds) override {
    asked_offset_at = utc_seconds;
    return zone_offset;
  }
};

// Without a start the machine clock (and zone, unless the store gives an
// offset) is the server's. A started clock runs at its rate, frozen or
// backwards too, and holds at both ends of the PcTime range.
TEST(ServerClockTest, MachineClockOrStartedClockWithinThePcTimeRange) {
  FakeTime t;
  StoreClockConfig clock;
  EXPECT_EQ(ServerUtTime(clock, &t), 1772344800u);
  EXPECT_EQ(ServerLtTime(clock, &t), 1772344800u + 7200);
  EXPECT_EQ(t.asked_offset_at, 1772344800);
  clock.has_local_offset = true;
  clock.local_offset = -3600;
  EXPECT_EQ(ServerLtTime(clock, &t), 1772344800u - 3600);

  clock.has_local_offset = false;
  clock.has_start = true;
  clock.start = 1000000000;  // 2001-09-09T01:46:40Z
  clock.started_at = 1772344800;
  clock.rate = 60;
  t.now_us = 1772344800LL * 1000000 + 1500000;  // 1.5 real seconds later
  EXPECT_EQ(ServerUtTime(clock, &t), 1000000090u);
  t.now_us += 16000;  // 0.016 s x 60 = 0.96 s: not yet a whole second more
  EXPECT_EQ(ServerUtTime(clock, &t), 1000000090u);
  // The zone offset is asked for the simulated instant, not the real one.
  t.zone_offset = 3600;
  EXPECT_EQ(ServerLtTime(clock, &t), 1000003690u);
  EXPECT_EQ(t.asked_offset_at, 1000000090);

  clock.rate = 0;  // frozen
  EXPECT_EQ(ServerUtTime(clock, &t), 1000000000u);
  clock.rate = 0.5;
  t.now_us = 1772344800LL * 1000000 - 3000000;  // before started_at: runs backwards
  EXPECT_EQ(ServerUtTime(clock, &t), 1000000000u - 2);
  clock.start = 10;
  t.now_us = 0;
  EXPECT_EQ(ServerUtTime(clock, &t), 0u);
  clock.start = 4294967000u;
  t.now_us = 1872344800LL * 1000000;
  EXPECT_EQ(ServerUtTime(clock, &t), UINT32_MAX);
}

}  // namespace
