// Finding a marker in a template, held against the plain search; splitting an item code into its fields: where the sequence number ends and the path
// begins, and which field a wrong byte in any position is blamed on.
#include "tests/test_support.h"
#include "convert/output_definitions.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>

#include "common/settings.h"
#include "common/texts.h"

namespace mq {
namespace {

// The fields as "path|seq|replace|max", or the detail of the first fault.
std::string split(const std::string& code) {
  OutputItem item{};
  const char* detail = checkOutputItem(testRun(), code.data(), static_cast<int32_t>(code.size()), &item);
  if (detail != nullptr) return detail;
  return code.substr(static_cast<std::size_t>(item.tagNameOffset), static_cast<std::size_t>(item.tagNameLength)) +
         "|" + std::to_string(item.seqNo) + "|" + std::to_string(item.replaceNo) + "|" +
         std::to_string(item.maxLength);
}

TEST(OutputItemCode, TheSequenceNumberTakesEveryDigitAfterThePathsLastBracket) {
  testRun().settings = Settings{};
  testRun().settings.useReplacement = true;
  const struct {
    const char* code;
    std::string fields;
  } cases[] = {
      {"1<P>0001000000", "<P>|1|0|0"},
      {"1<BODY><TD>0825999000000", "<BODY><TD>|825999|0|0"},
      {"1<P>12345007020", "<P>|12345|7|20"},
      {"1<P>00000000000000000001000000", "<P>|1|0|0"},
      {"1<P>2147483647000000", "<P>|2147483647|0|0"},
      {"1<P>2147483648000000", kDetailSeqNo},  // past what a record can carry
      {"1<P>21474836480000000000000000000000000000000000000001000000", kDetailSeqNo},  // and far past
      {"1<P>0000000000", kDetailSeqNo},
      {"1<P>000000000000", kDetailSeqNo},
      {"1<H1>0001000000", "<H1>|1|0|0"},
      {"1<P>x0001000000", kDetailSeqNo},  // everything after the last ">" is the number
      {"1A0001000000", "A|1|0|0"},
      {"1H10001000000", "H1|1|0|0"},      // no ">": four digits
      {"1<P>001000000", kDetailSeqNo},    // three digits after ">": the four bytes hold ">"
      {"1<P>-001000000", kDetailSeqNo},
      {"1<P>1234x00000", kDetailReplaceNo},
      {"1<P>123400000x", kDetailMaxLength},
      {"1<>0001000000", "<>|1|0|0"},
      {"1>0001000000", ">|1|0|0"},
  };
  for (const auto& c : cases) EXPECT_EQ(split(c.code), c.fields) << c.code;
}

// A non-digit in each of the ten positions of the three number fields, with four digits
// and with seven in the sequence number, is blamed on its own field.
TEST(OutputItemCode, ANonDigitInAnyPositionNamesItsField) {
  testRun().settings = Settings{};
  testRun().settings.useReplacement = true;
  for (const std::string seq : {"0001", "0012345"}) {
    const std::string digits = seq + "000000";
    for (std::size_t at = 0; at < digits.size(); ++at) {
      for (char wrong : {'x', ' ', '-', '/', ':'}) {
        std::string code = "1<BODY><P>" + digits;
        code[10 + at] = wrong;
        const std::size_t field = digits.size() - at;  // bytes from the end
        const char* want = field > 6 ? kDetailSeqNo : field > 3 ? kDetailReplaceNo : kDetailMaxLength;
        EXPECT_EQ(split(code), want) << code;
      }
    }
  }
}

// The search looks for a byte other than "<" and ">" first: it finds what the plain search
// finds, for markers of every shape, at the ends of the range as well.
TEST(TemplateMarker, IsFoundWhereThePlainSearchFindsIt) {
  std::mt19937 random(11);
  const char* const markers[] = {"<%", "%>", "<", ">", "<<", "<%<", "%%", "<!--", "-->", "<>%>"};
  const char alphabet[] = "<>%!-a";
  std::uniform_int_distribution<std::size_t> pick(0, sizeof alphabet - 2);
  std::uniform_int_distribution<int> size(0, 40);
  int found = 0;
  for (int round = 0; round < 4000; ++round) {
    std::string text;
    for (int i = size(random); i > 0; --i) text += alphabet[pick(random)];
    const auto length = static_cast<int32_t>(text.size());
    std::uniform_int_distribution<int32_t> place(0, length);
    int32_t from = place(random);
    int32_t end = place(random);
    if (from > end) std::swap(from, end);
    const char* marker = markers[static_cast<std::size_t>(round) % std::size(markers)];
    const std::size_t plain = std::string_view(text.data(), static_cast<std::size_t>(end)).find(marker, static_cast<std::size_t>(from));
    const int32_t expected = plain == std::string_view::npos ? -1 : static_cast<int32_t>(plain);
    ASSERT_EQ(findMarker(text.data(), from, end, markerOf(marker)), expected)
        << text << " [" << from << "," << end << ") " << marker;
    found += expected >= 0 ? 1 : 0;
  }
  EXPECT_GT(found, 500);
}

}  // namespace
}  // namespace mq
