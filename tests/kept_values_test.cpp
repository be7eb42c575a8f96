// A fill that keeps only the records its template addresses, held against the fill from
// every record: random documents with texts after children, random items that hit, miss,
// differ only in their path or come after a faulty item, with the tables handed on after a
// record or a few, in both kinds of fill; the output, the log's warnings and the result.
#include "convert/kept_values.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <sstream>
#include <string>

#include "common/run_record.h"
#include "convert/marquill_run.h"
#include "convert/output_run.h"
#include "tests/test_support.h"

namespace mq {
namespace {

std::string randomDocument(std::mt19937& random) {
  static const char* const tokens[] = {"<p>", "</p>", "<b>", "</b>", "<div class=c>", "</div>", "<br>", "text ",
                                       "tail", "<td>", "</td>", "<a href=\"x\">", "</a>", "\n", "<p>lead"};
  std::uniform_int_distribution<std::size_t> pick(0, std::size(tokens) - 1);
  std::string text = "<html><body>";
  for (int i = 0; i < 200; ++i) text += tokens[pick(random)];
  return text + "after</body></html>";
}

std::string randomTemplate(std::mt19937& random) {
  static const char* const paths[] = {"<BODY>", "<body><p>", "<BODY><P><B>", "<BODY><DIV><<CLASS>>", "<BODY><DIV><P>",
                                      "<BODY><TD>", "<BODY><B><A>", "<BODY><P><A><<HREF>>", "<BODY><P><P>", "<BODY><Q>"};
  std::uniform_int_distribution<std::size_t> pick(0, std::size(paths) - 1);
  std::uniform_int_distribution<int> number(1, 6);
  std::string text;
  for (int i = 0; i < 60; ++i) {
    const int file = number(random) % 3 + 1;
    text += "[<%" + std::to_string(file) + paths[pick(random)] + "000" + std::to_string(number(random)) +
            (number(random) == 1 ? "000005" : "000000") + "%>]";
    if (number(random) == 6 && number(random) == 6) text += "<%9<P>x%>";  // a faulty item ends the fill
  }
  return text;
}

class KeptValuesFill : public test::ScratchDir {
 protected:
  // The result, output and warnings of a fill, keeping only what it addresses or everything.
  std::string fill(const std::string& kind, bool keep, int32_t limit) {
    test::writeFile(path("settings.ini"), "[LOG]\r\nFILENAME=" + path("run.log") + "\r\nWARLOGOUT=YES\r\n[OUTFILE]\r\nKIND=" +
                                              kind + "\r\nOUTFILE=" + path("out.txt") + "\r\n[SET]\r\nSTART=<%\r\nEND=%>\r\n"
                                              "[INFILE]\r\nCOUNT=2\r\nKIND=HTML\r\nINFILE1=" + path("1.html") +
                                              "\r\nINFILE2=" + path("2.html") + "\r\n[OUTDEF]\r\nOUTDEF=" +
                                              path("template.txt") + "\r\n");
    std::remove(path("run.log").c_str());
    std::remove(path("out.txt").c_str());
    const auto run = std::make_unique<OutputRun>();
    EXPECT_EQ(setupRunRecord(*run, path("settings.ini").c_str(), "Marquill"), 0);
    EXPECT_EQ(startRun(*run), 0);
    run->keepAddressedOnly = keep;
    run->flow.recordLimit = limit;
    run->flow.contentLimit = limit * 8;
    const int result = processRun(*run);
    endRun(*run);
    // The log's lines without their time.
    std::istringstream log(test::fileExists(path("run.log")) ? test::readFile(path("run.log")) : "");
    std::string warnings;
    for (std::string line; std::getline(log, line);) warnings += line.size() > 20 ? line.substr(20) + "\n" : line + "\n";
    return std::to_string(result) + "\n" + test::readFile(path("out.txt")) + "\n" + warnings;
  }
};

TEST_F(KeptValuesFill, FillsAsTheWholeTablesDo) {
  std::mt19937 random(7);
  int warned = 0;
  for (int round = 0; round < 40; ++round) {
    test::writeFile(path("1.html"), randomDocument(random));
    test::writeFile(path("2.html"), randomDocument(random));
    test::writeFile(path("template.txt"), randomTemplate(random));
    const std::string kind = round % 2 == 0 ? "NORMAL" : "NOCRLF";
    const std::string whole = fill(kind, false, 1 << 16);
    warned += whole.find("5021") != std::string::npos ? 1 : 0;
    for (const int32_t limit : {1, 3, 1 << 16}) {
      ASSERT_EQ(fill(kind, true, limit), whole) << "round " << round << " limit " << limit;
    }
  }
  EXPECT_GT(warned, 30);
}

}  // namespace
}  // namespace mq
