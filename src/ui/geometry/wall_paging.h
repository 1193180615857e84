#pragma once
// The arithmetic of the previous-page and next-page commands.

#include "config/user_settings.h"

namespace lumivex::ui {

// Pages to step through: the windows that show a camera plus closeCount (the
// close-video commands issued so far), WindowsPerPage to a page, rounded up.
// Never more than the wall's 64 pages: closeCount only grows, and a page
// number past the slot table would address slots that do not exist.
int PageCount(int camerasShown, int closeCount, const WallLayout& layout);

// The page after currentPage, 0 after the last. With fewer than two pages
// the page does not change.
int NextPage(int currentPage, int pageCount);

// The page before currentPage, the last one before page 0. With fewer than
// two pages the page does not change.
int PreviousPage(int currentPage, int pageCount);

}  // namespace lumivex::ui
