#pragma once
// Debugging aids for scripts (the screenshot script among them), read from
// the environment when the main window opens; with none set nothing happens.
//
//   LUMIVEX_SELECT=INDEX            selects window INDEX (0-15) of the wall's
//                                   first page as soon as its camera plays,
//                                   as a click on it would
//   LUMIVEX_RECORD=1                then presses "开启录像" for it
//   LUMIVEX_SCREENSHOT=FILE,SECONDS saves a PNG picture of the main window
//                                   SECONDS (1-3600) after it opened, then
//                                   ends the program as "退出" does

namespace lumivex {

class CLumivexDlg;

void ArmDebugScript(CLumivexDlg& window);

}  // namespace lumivex
