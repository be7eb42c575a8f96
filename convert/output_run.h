// What one run of Marquill's job owns beyond reading its documents and listing them: the settings, the
// output phase's areas and where the output goes (a file, or text in memory for the
// library). A run makes one and hands it down; runs on other threads have their own.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "common/settings.h"
#include "convert/listing_writer.h"
#include "convert/output_areas.h"
#include "convert/record_index.h"

namespace mq {

// Which records a fill's reading hands on: once its items are read, only those an item may
// address; before, every one. Tests fix one way for a whole run, to compare them.
enum class RecordChoice { OnceItemsRead, FromTheStart, Never };

struct OutputRun : ListingRun {
  Settings settings;
  OutputAreas output;
  std::FILE* outputFile;
  // When set, the output is gathered here and no output file is made; the template and the
  // replacement table are then taken from these texts instead of their files.
  std::string* outputText;
  const std::string* templateText;
  const std::string* replacementText;
  // What a settings file may hold by a slip (an unknown key, a keyword read by its first
  // bytes), one line each, for the program to show.
  std::vector<std::string> settingNotes;
  // When set, told of each warning of the output phase (5021, 5022) instead of the log.
  std::function<void()> warned;
  // Tests turn the fast paths off to compare them with the plain ones.
  bool listingShortcut = true;
  bool indexEnabled = true;
  // A fill that kept only what its template asks for knows its items' records already.
  ItemAnswers* answers = nullptr;
  // Items the tables were searched for, items read and stretches of the template searched
  // for their markers in the output phase: tests see the answers taken.
  long tableSearches = 0;
  long itemsRead = 0;
  long stretchesSearched = 0;
  // KIND=CSV is written while the documents are read, and a fill keeps only the records its
  // template's items can be answered from; tests turn both off to compare.
  bool readsLean = true;
  RecordChoice recordChoice = RecordChoice::OnceItemsRead;
};

inline ReplacementEntry* replacementAt(OutputRun& run, int32_t index) {
  return reinterpret_cast<ReplacementEntry*>(run.output.replaceEntries) + index;
}
inline const char* replacementText(OutputRun& run, int32_t offset) {
  return reinterpret_cast<const char*>(run.output.replaceTexts) + offset;
}
inline char* workText(OutputRun& run) { return reinterpret_cast<char*>(run.output.work); }

}  // namespace mq
