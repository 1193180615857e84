// playBack.do: the inner document with the day list of a memory card, read
// into the calendar of recordings.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "playback/catalogue.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static lumivex::fuzz::FileService service;
  std::string input(reinterpret_cast<const char*>(data), size);
  service.AnswerInner("playBack", input);
  lumivex::PlaybackDayList list;
  std::string message;
  lumivex::LoadPlaybackCatalogue(*service.ctx, "cam0001", list, message);
  // The day list on its own too: the text the inner document carries.
  lumivex::ParseDayList(input, list);
  for (const auto& year : list.years)
    for (const auto& month : year.months)
      for (const auto& day : month.days)
        if (day.hourCount < 0 || day.hourCount > 24) __builtin_trap();
  return 0;
}
