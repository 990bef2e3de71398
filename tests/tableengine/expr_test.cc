#include "tableengine/expr.h"

#include <gtest/gtest.h>

#include <cmath>

#include "tableengine/expr_functions.h"
#include "tests/tableengine/fake_table.h"

namespace {

using pv::Expr;
using pv::ExprType;
using pvtest::FakeTable;

// The _EVENTLOG-like fields the plant filters use, plus one of each other kind.
class ExprTest : public ::testing::Test {
 protected:
  void SetUp() override {
    t_.AddField("UT", 'C', 25);
    t_.AddField("GUID", 'C', 37);
    t_.AddField("UTC", 'N', 11);
    t_.AddField("TIMESTAMP", 'N', 11);
    t_.AddField("OLDSTATE", 'N', 11);
    t_.AddField("NEWSTATE", 'N', 11);
    t_.AddField("PRINTED", 'C', 1);
    t_.AddField("VAL", 'N', 12, 4);
    t_.AddField("BORN", 'D', 8);
    t_.AddField("QTY", 'I', 4);
    t_.AddField("NAME", 'C', 10, 0, true);
    t_.Append({"0000000020240101000009000", "AB-CD", "1704067200", "42", "200", "100", "F",
               "  -12.5000", "19960705", std::string("\x09\0\0\0", 4), "mueller"});
  }

  std::unique_ptr<Expr> Parse(const std::string& src) {
    std::unique_ptr<Expr> e;
    pv::Status s = Expr::Parse(src, t_, &e);
    EXPECT_TRUE(s.ok()) << s.ToString();
    return e;
  }
  std::string Text(const std::string& src) { return Parse(src)->EvaluateText(t_); }
  bool True(const std::string& src) { return Parse(src)->IsTrue(t_); }

  FakeTable t_;
};

// (The plant tags' keys, RECNO() and a numeric field among them, are checked
// against the key lengths in the fixture indexes when those open.)
TEST_F(ExprTest, KeyTypeAndLengthComeFromTheDeclarations) {
  struct Case {
    const char* src;
    ExprType type;
    int32_t length;
  } cases[] = {
      {"STR(UTC)", ExprType::kCharacter, 10},
      {"QTY", ExprType::kInteger, 4},
      {"QTY*10+1", ExprType::kNumeric, 8},
      {"BORN", ExprType::kDate, 8},
      {"DTOS(BORN)+LEFT(UT,4)", ExprType::kCharacter, 12},
      {"SUBSTR(GUID,3)", ExprType::kCharacter, 35},
      {"SUBSTR(GUID,3,2)", ExprType::kCharacter, 2},
      {"UPPER(ALLTRIM(NAME))", ExprType::kCharacter, 10},
      {"DELETED()", ExprType::kLogical, 1},
  };
  for (const Case& c : cases) {
    auto e = Parse(c.src);
    ASSERT_TRUE(e) << c.src;
    EXPECT_EQ(e->type(), c.type) << c.src;
    EXPECT_EQ(e->length(), c.length) << c.src;
  }
  EXPECT_TRUE(Parse("UPPER(NAME)")->nullable());
  EXPECT_FALSE(Parse("UT")->nullable());
}

TEST_F(ExprTest, EvaluatesFunctionsOnTheRecord) {
  EXPECT_EQ(Text("STR(UTC,10,0)+STR(TIMESTAMP,5,0)"), "1704067200   42");
  EXPECT_EQ(Text("STR(VAL,8,2)"), "  -12.50");
  EXPECT_EQ(Text("DTOS(BORN)"), "19960705");
  EXPECT_EQ(Text("UPPER(NAME)"), "MUELLER   ");
  EXPECT_EQ(Text("upper(alltrim(name))+'|'"), "MUELLER|   ");  // padded as a whole
  EXPECT_EQ(Text("SUBSTR(UT,9,8)+LEFT(GUID,2)"), "20240101AB");
  EXPECT_EQ(Text("SUBS(GUID,40,2)"), "  ");  // beyond the value: blanks
  EXPECT_EQ(Text("STR(RECNO(),3)"), "  1");
  EXPECT_EQ(Text("STR(QTY*10000+VAL('12abc'),9)"), "    90012");
}

TEST_F(ExprTest, PlantFiltersFollowDbaseRulesAndNulls) {
  // PRINTED "F", OLDSTATE 200, NEWSTATE 100: in neither NOTPRINTED nor DOPRINT.
  EXPECT_FALSE(True("PRINTED='F'.AND.(OLDSTATE<128.OR.NEWSTATE>=128)"));
  EXPECT_TRUE(True("PRINTED='F'.AND.(OLDSTATE>=128.OR.NEWSTATE<128)"));
  EXPECT_TRUE(True("(PRINTED='F').AND.(.NOT. DELETED())"));
  EXPECT_FALSE(True("DELE()"));  // four letters name a function
  t_.SetDeleted(true);
  EXPECT_TRUE(True("DELETED()"));
  EXPECT_FALSE(True("!DELETED()"));
  // SET EXACT OFF: "=" is a prefix test; the ordering comparisons pad.
  EXPECT_TRUE(True("GUID='AB'"));
  EXPECT_TRUE(True("GUID=''"));
  EXPECT_FALSE(True("'AB'=GUID"));
  EXPECT_TRUE(True("GUID>='AB'"));
  EXPECT_TRUE(True("'AB'<GUID"));
  EXPECT_TRUE(True("'AB  '<>GUID"));
  EXPECT_TRUE(True("-UTC < 0 .and. 2*3-1=5 .and. 7/2=3.5"));
  EXPECT_TRUE(True("BORN>=BORN .AND. .T. .AND. !.F."));
  // A null field makes a null key and a false comparison, negated or not.
  t_.SetNull(10, true);
  pv::ExprValue v;
  Parse("UPPER(NAME)")->Evaluate(t_, &v);
  EXPECT_TRUE(v.null);
  EXPECT_FALSE(True("NAME='m'"));
  EXPECT_FALSE(True(".NOT.(NAME='m')"));
  EXPECT_TRUE(True("NAME='m'.OR.UTC>0"));
}

TEST_F(ExprTest, ParseErrorsNameThePosition) {
  struct Case {
    const char* src;
    const char* what;
  } cases[] = {
      {"UT+", "position 4: expression ends"},
      {"STR(UTC,UTC)", "position 9: argument must be a whole number"},
      {"UT+UTC", "position 3: '+' needs two character or two numeric"},
      {"PRINTED='T'.AND.UTC", "position 12: operands of .AND./.OR. must be logical"},
      {"UT='x", "position 4: unterminated string"},
      {"FOO(UT)", "position 1: unknown function 'FOO'"},
      {"UT=UTC", "position 3: compared values have different types"},
      {"UT+NOSUCH", "position 4: unknown field 'NOSUCH'"},
  };
  for (const Case& c : cases) {
    std::unique_ptr<Expr> e;
    pv::Status s = Expr::Parse(c.src, t_, &e);
    EXPECT_TRUE(s.IsInvalidArgument()) << c.src;
    EXPECT_NE(s.message().find(c.what), std::string::npos) << c.src << " -> " << s.message();
    EXPECT_FALSE(e);
  }
  for (const char* bad : {"(UT", "UT .XOR. UT", "STR(UT)", "RECNO(1)", "UT $ 'A'", "UT UT"}) {
    std::unique_ptr<Expr> e;
    EXPECT_TRUE(Expr::Parse(bad, t_, &e).IsInvalidArgument()) << bad;
  }
}

TEST(ExprFunctionsTest, JulianDaysAndDateTexts) {
  EXPECT_EQ(pv::JulianFromDateText("19960705"), 2450270);
  EXPECT_EQ(pv::JulianFromDateText("1996x705"), 0);
  EXPECT_EQ(pv::DateTextFromJulian(0), "        ");
  for (int32_t jd = pv::JulianDay(1, 1, 1); jd < pv::JulianDay(9999, 12, 31); jd += 97) {
    ASSERT_EQ(pv::JulianFromDateText(pv::DateTextFromJulian(jd)), jd);
  }
  // Days the 8-character text cannot show, and numbers that are no day at
  // all (a damaged date key decodes to any double), are the empty date.
  EXPECT_EQ(pv::DateTextFromJulian(pv::JulianDay(10000, 1, 1)), "        ");
  EXPECT_EQ(pv::DateTextFromDayNumber(2451545.75), "20000101");
  for (double bad : {0.0, -5.0, 1e300, -1e300, std::nan("")}) {
    EXPECT_EQ(pv::DateTextFromDayNumber(bad), "        ") << bad;
  }
  EXPECT_EQ(pv::UpperAnsi('\xE9'), '\xC9');
  EXPECT_EQ(pv::UpperAnsi('\xF7'), '\xF7');
  bool ok = true;
  EXPECT_EQ(pv::ParseNumericText("  -12.5000", &ok), -12.5);
  EXPECT_TRUE(ok);
  EXPECT_EQ(pv::ParseNumericText("***", &ok), 0.0);
  EXPECT_FALSE(ok);
}

}  // namespace
