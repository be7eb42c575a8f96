// A lack of memory thrown by the lists, texts and queues a run keeps, on its reading thread or
// on the threads it starts, ends the run as a lack of an area does: message 1011 and the
// failure's exit code, no part file and no area left, instead of ending the program. Every
// allocation through operator new is failed in turn.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>

#include "common/settings.h"
#include "common/work_areas.h"
#include "convert/marquill_run.h"
#include "tests/test_support.h"
#include "tools/listing_tool.h"

namespace {

std::atomic<long> gNews{0};
std::atomic<long> gFailingNew{0};  // the count of the allocation that throws; 0: none

}  // namespace

void* operator new(std::size_t size) {
  const long failing = gFailingNew.load(std::memory_order_relaxed);
  if (failing > 0 && gNews.fetch_add(1, std::memory_order_relaxed) + 1 == failing) throw std::bad_alloc();
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }

namespace mq {
namespace {

class ThrownMemory : public test::ScratchDir {
 protected:
  // Runs the job failing the 1st, 2nd, ... allocation until it succeeds; each failed run
  // must give the memory message and leave nothing behind.
  // Runs the job failing the 1st, 2nd, ... allocation until it succeeds; each failed run
  // must give the memory message and leave nothing behind. Only the run's setting up, before
  // any of its work, may let the lack through.
  // `next`, when given, runs after each failed run and must succeed: nothing of the failed run
  // stays in the process to trouble it.
  void failEachInTurn(const std::string& what, int (*job)(const std::string&), const std::string& argument,
                      int (*next)(const std::string&) = nullptr) {
    long failing = 0;
    long reported = 0;
    int exitCode = 0;
    do {
      std::string shown;
      bool escaped = false;
      {
        test::ConsoleCapture console;
        gNews = 0;
        gFailingNew = ++failing;
        try {
          exitCode = job(argument);
        } catch (const std::bad_alloc&) {
          escaped = true;
        }
        gFailingNew = 0;
        shown = console.out() + console.err();
      }
      if (escaped) {
        ASSERT_EQ(reported, 0) << what << " " << failing;
        exitCode = 255;
        continue;
      }
      ++reported;
      ASSERT_TRUE(exitCode == 0 || exitCode == 255) << what << " " << failing;
      if (exitCode != 0) {
        ASSERT_NE(shown.find("CONTENTS = ["), std::string::npos) << what << " " << failing << " " << shown;
      }
      ASSERT_EQ(mappedAreaCount(), 0) << what << " " << failing;
      if (exitCode != 0 && next != nullptr) {
        test::ConsoleCapture console;
        ASSERT_EQ(next(argument), 0) << what << " " << failing;
      }
      for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
        ASSERT_EQ(entry.path().string().find(".part"), std::string::npos) << what << " " << failing;
      }
    } while (exitCode != 0 && failing < 20000);
    EXPECT_GT(reported, 10) << what;  // so many allocations, on several threads, were failed
    EXPECT_EQ(exitCode, 0) << what;
  }
};

TEST_F(ThrownMemory, EndsTheListingsAndTheFillWithTheMemoryMessage) {
  std::string page = "<HTML><BODY>";
  for (int i = 0; i < 400; ++i) page += "<P CLASS=c" + std::to_string(i % 7) + ">text " + std::to_string(i) + "</P>";
  test::writeFile(path("page.html"), page + "</BODY></HTML>");
  test::writeFile(path("template.txt"), "[<%1<HTML><BODY><P>0003000000%>][<%1<HTML><BODY><P><<CLASS>>0009000000%>]");
  for (const char* kind : {"NORMAL", "CSV"}) {
    test::writeFile(path(std::string(kind) + ".ini"),
                    "[LOG]\r\nFILENAME=" + path("run.log") + "\r\nWARLOGOUT=NO\r\n[OUTFILE]\r\nKIND=" + kind + "\r\nOUTFILE=" +
                        path(std::string(kind) + ".out") + "\r\n[SET]\r\nSTART=<%\r\nEND=%>\r\n[INFILE]\r\nCOUNT=1\r\n"
                        "KIND=HTML\r\nINFILE1=" + path("page.html") + "\r\n[OUTDEF]\r\nOUTDEF=" + path("template.txt") +
                        "\r\n");
    failEachInTurn(kind, [](const std::string& ini) { return runMarquill(ini.c_str()); }, path(std::string(kind) + ".ini"));
  }
  // The next listing goes to a device, written after the reading, not through a sink.
  failEachInTurn(
      "listing", [](const std::string& line) { return runListingTool(line.c_str(), "ToolMqlInputH", InputKind::Html); },
      path("page.html") + " " + path("listing.tsv") + " /y", [](const std::string& line) {
        const std::string toDevice = line.substr(0, line.find(' ')) + " " + test::kNullDevice + " /y";
        return runListingTool(toDevice.c_str(), "ToolMqlInputH", InputKind::Html);
      });
}

}  // namespace
}  // namespace mq
