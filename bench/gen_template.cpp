// mq_bench_template LISTING ITEMS TEMPLATE REPLACEMENT: writes the output benchmark's
// template of ITEMS items (markers <% and %>) and its replacement file, both taken from the
// tag listing of the benchmark document (as ToolMqlInputH writes it).
//
// Nine items in ten name a record of the listing (tag path and sequence number), spread
// evenly over the listing and put in a shuffled order; one in ten names none: a sequence
// number past the path's last, a path of the same length with one byte changed, or a path
// the document lacks. Half the items have a replacement number (one in ten of those a
// number the file lacks) and half a maximum length. The replacement file has 400 entries
// whose before-texts are the first bytes of listed values. The same listing gives the same
// files on every machine (the generators' own random numbers, no std:: distribution).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "bench/html_generator.h"

namespace {

constexpr uint64_t kSeed = 0x4D51544D504C0001ULL;
constexpr int kReplacementEntries = 400;  // numbers 1 to 400; items use up to 440
constexpr long kLargestSeqNo = 9999;      // an item holds four digits

uint32_t below(mq::bench::BenchRandom* random, uint32_t bound) { return mq::bench::randomBelow(random, bound); }

struct Record {
  std::string path;
  long seqNo;
  std::string value;
};

// One listing line: FILE, OBJECT, SEQUENCE, PATH, VALUE, TAB-separated, CR LF at the end.
bool splitLine(const std::string& line, Record* record) {
  std::size_t fields[4];
  std::size_t at = 0;
  for (std::size_t& field : fields) {
    field = line.find('\t', at);
    if (field == std::string::npos) return false;
    at = field + 1;
  }
  record->seqNo = std::strtol(line.c_str() + fields[1] + 1, nullptr, 10);
  record->path.assign(line, fields[2] + 1, fields[3] - fields[2] - 1);
  std::size_t end = line.size();
  while (end > fields[3] + 1 && (line[end - 1] == '\n' || line[end - 1] == '\r')) --end;
  record->value.assign(line, fields[3] + 1, end - fields[3] - 1);
  return true;
}

// A record an item can name: a number of four digits and a path that the item holds as it
// stands (no blank is dropped from it, no marker is found in it, nothing upper-cased).
bool nameable(const Record& r) {
  if (r.seqNo < 1 || r.seqNo > kLargestSeqNo || r.path.empty()) return false;
  for (char c : r.path) {
    if (c == ' ' || c == '\t' || c == '%' || (c >= 'a' && c <= 'z')) return false;
  }
  return true;
}

bool readLine(std::FILE* file, std::string* line) {
  line->clear();
  char buffer[65536];
  while (std::fgets(buffer, sizeof buffer, file) != nullptr) {
    line->append(buffer);
    if (!line->empty() && line->back() == '\n') return true;
  }
  return !line->empty();
}

// The nameable records in listing order: counts them (and each path's last number), or,
// with `wanted`, keeps the ones whose nameable index is in it.
long scanListing(const char* name, std::unordered_map<std::string, long>* lastSeq, const std::vector<long>* wanted,
                 std::vector<Record>* kept) {
  std::FILE* file = std::fopen(name, "rb");
  if (file == nullptr) return -1;
  std::string line;
  Record record;
  long index = 0;
  std::size_t next = 0;
  while (readLine(file, &line)) {
    if (!splitLine(line, &record) || !nameable(record)) continue;
    if (lastSeq != nullptr) {
      long& last = (*lastSeq)[record.path];
      if (record.seqNo > last) last = record.seqNo;
    }
    if (wanted != nullptr) {
      while (next < wanted->size() && (*wanted)[next] == index) {
        kept->push_back(record);
        ++next;
      }
    }
    ++index;
  }
  std::fclose(file);
  return index;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: %s LISTING ITEMS TEMPLATE REPLACEMENT\n", argv[0]);
    return 2;
  }
  const long items = std::strtol(argv[2], nullptr, 10);
  if (items < 10 || items > 10000000) {
    std::fprintf(stderr, "%s: ITEMS must be from 10 to 10000000, not '%s'\n", argv[0], argv[2]);
    return 2;
  }
  std::unordered_map<std::string, long> lastSeq;
  const long nameableCount = scanListing(argv[1], &lastSeq, nullptr, nullptr);
  if (nameableCount < 1) {
    std::fprintf(stderr, "%s: %s holds no record an item can name\n", argv[0], argv[1]);
    return 1;
  }
  // Evenly spread over the listing, so that a document twice as long is sampled alike.
  std::vector<long> wanted;
  for (long i = 0; i < items; ++i) wanted.push_back(static_cast<long>((static_cast<double>(i) + 0.5) * static_cast<double>(nameableCount) /
                                                                    static_cast<double>(items)));
  std::vector<Record> picked;
  scanListing(argv[1], nullptr, &wanted, &picked);

  mq::bench::BenchRandom random{kSeed};
  for (std::size_t i = picked.size(); i > 1; --i) std::swap(picked[i - 1], picked[below(&random, static_cast<uint32_t>(i))]);

  std::FILE* replacement = std::fopen(argv[4], "wb");
  std::FILE* output = std::fopen(argv[3], "wb");
  if (replacement == nullptr || output == nullptr) {
    std::fprintf(stderr, "%s: cannot write %s or %s\n", argv[0], argv[3], argv[4]);
    return 1;
  }
  for (int number = 1; number <= kReplacementEntries; ++number) {
    // The first bytes of a listed value that has any (a value written with an escape in
    // the listing matches nothing, which is fine too).
    std::size_t from = static_cast<std::size_t>(number) * 37 % picked.size();
    for (std::size_t tries = 0; tries < picked.size() && picked[from].value.empty(); ++tries) {
      from = (from + 1) % picked.size();
    }
    std::string before = picked[from].value.substr(0, static_cast<std::size_t>(1 + number % 3));
    if (number % 50 == 0) before.clear();  // an empty before-text replaces every value
    std::fprintf(replacement, "%d\t%s\treplaced %d\r\n", number, before.c_str(), number);
  }

  std::fprintf(output, "Output benchmark: %ld items\r\n", items);
  for (std::size_t i = 0; i < picked.size(); ++i) {
    Record& r = picked[i];
    switch (below(&random, 30)) {
      case 0: {  // a number past the path's last
        const long last = lastSeq[r.path];
        if (last < kLargestSeqNo) r.seqNo = last + 1;
        break;
      }
      case 1:  // the same length, one byte changed
        r.path[r.path.size() > 2 ? r.path.size() - 2 : 0] = 'Q';
        break;
      case 2:  // a path the document lacks
        r.path.insert(0, "<NOSUCH>");
        break;
      default:
        break;
    }
    const uint32_t replace = below(&random, 2) == 0 ? 0 : 1 + below(&random, kReplacementEntries * 11 / 10);
    const uint32_t maximum = below(&random, 2) == 0 ? 0 : 1 + below(&random, 200);
    // Items are written in two shapes: compact, and spread with blanks and a line end.
    if (i % 4 == 0) {
      std::fprintf(output, "%zu: <%%1 %s\r\n %04ld %03u %03u%%>\r\n", i + 1, r.path.c_str(), r.seqNo, replace, maximum);
    } else {
      std::fprintf(output, "%zu: <%%1%s%04ld%03u%03u%%>\r\n", i + 1, r.path.c_str(), r.seqNo, replace, maximum);
    }
  }
  const bool written = std::fclose(output) == 0 && std::fclose(replacement) == 0;
  if (!written) {
    std::fprintf(stderr, "%s: writing %s or %s failed\n", argv[0], argv[3], argv[4]);
    return 1;
  }
  std::printf("%zu items from %ld nameable records of %s\n", picked.size(), nameableCount, argv[1]);
  return 0;
}
