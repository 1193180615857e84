// The four lists of CPlayback: each lists the entries of the one selected
// to its left, the first of them selected. A list item keeps its slot in
// the catalogue (the hour list: the hour itself) as its data.

#include <QListWidget>
#include <QSignalBlocker>

#include <algorithm>

#include "ui/playback/playback_window.h"

namespace lumivex {
namespace {

enum List : std::size_t { kYear, kMonth, kDay, kHour };

template <typename Entries, typename Number>
void Fill(QListWidget* list, const Entries* entries, Number number, const char* format) {
  const QSignalBlocker quiet(list);  // a refill is no choice of the user's
  list->clear();
  if (!entries) return;
  for (std::size_t i = 0; i < entries->size(); ++i) {
    const int32_t value = (*entries)[i].*number;
    if (value == 0) continue;  // an empty slot
    auto* item = new QListWidgetItem(QString::asprintf(format, value), list);
    item->setData(Qt::UserRole, static_cast<int>(i));
  }
  if (list->count() > 0) list->setCurrentRow(0);
}

template <typename Entries>
const typename Entries::value_type* SlotOf(const QListWidget* list, const Entries& entries) {
  const QListWidgetItem* item = list->currentItem();
  if (!item || list->currentRow() < 0) return nullptr;
  const int slot = item->data(Qt::UserRole).toInt();
  return slot >= 0 && static_cast<std::size_t>(slot) < entries.size() ? &entries[static_cast<std::size_t>(slot)] : nullptr;
}

}  // namespace

const PlaybackDayList::Year* CPlayback::SelectedYear() const { return SlotOf(lists_[kYear], catalogue_.years); }

const PlaybackDayList::Month* CPlayback::SelectedMonth() const {
  const PlaybackDayList::Year* year = SelectedYear();
  return year ? SlotOf(lists_[kMonth], year->months) : nullptr;
}

const PlaybackDayList::Day* CPlayback::SelectedDay() const {
  const PlaybackDayList::Month* month = SelectedMonth();
  return month ? SlotOf(lists_[kDay], month->days) : nullptr;
}

void CPlayback::FillYears() {
  Fill(lists_[kYear], &catalogue_.years, &PlaybackDayList::Year::year, "%d");
  FillMonths();
}

void CPlayback::FillMonths() {
  const PlaybackDayList::Year* year = SelectedYear();
  Fill(lists_[kMonth], year ? &year->months : nullptr, &PlaybackDayList::Month::month, "%02d");
  FillDays();
}

void CPlayback::FillDays() {
  const PlaybackDayList::Month* month = SelectedMonth();
  Fill(lists_[kDay], month ? &month->days : nullptr, &PlaybackDayList::Day::day, "%02d");
  FillHours();
}

// Hour 0 is midnight, not an empty slot: the day's count says how many.
void CPlayback::FillHours() {
  QListWidget* list = lists_[kHour];
  const QSignalBlocker quiet(list);
  list->clear();
  const PlaybackDayList::Day* day = SelectedDay();
  if (!day) return;
  const int count = std::clamp<int32_t>(day->hourCount, 0, static_cast<int32_t>(day->hours.size()));
  for (int i = 0; i < count; ++i) {
    auto* item = new QListWidgetItem(QString::asprintf("%02d", day->hours[static_cast<std::size_t>(i)]), list);
    item->setData(Qt::UserRole, day->hours[static_cast<std::size_t>(i)]);
  }
  if (count > 0) list->setCurrentRow(0);
}

// The selection is the lists' own current rows; a choice refills the lists
// to its right.
void CPlayback::YearChosen(int) { FillMonths(); }
void CPlayback::MonthChosen(int) { FillDays(); }
void CPlayback::DayChosen(int) { FillHours(); }

}  // namespace lumivex
