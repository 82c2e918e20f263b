// Hooks for automated checks of the start-up dialogs and the auto-tag
// windows, driven by the VELTRANO_TEST_HOOK environment variable:
//   "newversion-screenshot=FILE|CERT"  picture of the new-version dialog, then
//                                 end; CERT (optional) is the PEM certificate
//                                 of the test's update server
//   "autotag-screenshot=FILE[|replace]"  select the first file once the
//                                 folder is loaded, run Auto-Tag, take a
//                                 picture of the pick dialog ("Replace
//                                 covers" ticked with "|replace"), cancel
//                                 and close
//   "newversion-press=BUTTON|CERT" press btUpdateNow or btCancel in the
//                                 new-version dialog; a main window that
//                                 opens after it closes at once
//   "autotag-pick=N[|replace]"    select the first file once the folder is
//                                 loaded, run Auto-Tag, double-click row N of
//                                 each pick dialog ("Replace covers" ticked
//                                 with "|replace"), close after the run
//   "fields-screenshot=FILE"      select the first file once the folder is
//   "pictures-screenshot=FILE"    loaded, open All Fields (Pictures), select
//                                 its second row, take a picture and close
//   "quit-when-shown"             close the main window as soon as it shows
//   "namesguess=FILE|PATTERN"     select every file once the folder is
//                                 loaded, open Tags from File Names, type
//                                 PATTERN, take a picture of the preview
//                                 (no picture for an empty FILE), press
//                                 Apply and close after the save
#pragma once

#include <QString>

class TFrmMain;

// Before the update check. Returns true when the program is to end after it.
bool RunStartUpTestHook(const QString& Hook);
// Once the main window exists. Returns false for hooks it does not know.
bool RunWindowTestHook(TFrmMain& Window, const QString& Hook);
