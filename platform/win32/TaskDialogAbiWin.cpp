// Proves that the task dialog records of the 32-bit program are laid out
// exactly as the platform's own declarations. (The platform packs its 64-bit
// records to one byte; ours are naturally aligned there.)
#include <windows.h>
#include <commctrl.h>

#include <cstddef>

#include "platform/TaskDialogAbi.h"

#if !defined(_WIN64)
namespace kv {
namespace {

#define KV_SAME_OFFSET(ours, theirs) \
  static_assert(offsetof(TaskDialogConfig, ours) == offsetof(TASKDIALOGCONFIG, theirs), #ours)

static_assert(sizeof(TaskDialogConfig) == sizeof(TASKDIALOGCONFIG));
static_assert(sizeof(TaskDialogButtonEntry) == sizeof(TASKDIALOG_BUTTON));
static_assert(offsetof(TaskDialogButtonEntry, nButtonID) == offsetof(TASKDIALOG_BUTTON, nButtonID));
static_assert(offsetof(TaskDialogButtonEntry, pszButtonText) == offsetof(TASKDIALOG_BUTTON, pszButtonText));
KV_SAME_OFFSET(cbSize, cbSize);
KV_SAME_OFFSET(hwndParent, hwndParent);
KV_SAME_OFFSET(hInstance, hInstance);
KV_SAME_OFFSET(dwFlags, dwFlags);
KV_SAME_OFFSET(dwCommonButtons, dwCommonButtons);
KV_SAME_OFFSET(pszWindowTitle, pszWindowTitle);
KV_SAME_OFFSET(hMainIcon, hMainIcon);
KV_SAME_OFFSET(pszMainInstruction, pszMainInstruction);
KV_SAME_OFFSET(pszContent, pszContent);
KV_SAME_OFFSET(cButtons, cButtons);
KV_SAME_OFFSET(pButtons, pButtons);
KV_SAME_OFFSET(nDefaultButton, nDefaultButton);
KV_SAME_OFFSET(cRadioButtons, cRadioButtons);
KV_SAME_OFFSET(pRadioButtons, pRadioButtons);
KV_SAME_OFFSET(nDefaultRadioButton, nDefaultRadioButton);
KV_SAME_OFFSET(pszVerificationText, pszVerificationText);
KV_SAME_OFFSET(pszExpandedInformation, pszExpandedInformation);
KV_SAME_OFFSET(pszExpandedControlText, pszExpandedControlText);
KV_SAME_OFFSET(pszCollapsedControlText, pszCollapsedControlText);
KV_SAME_OFFSET(hFooterIcon, hFooterIcon);
KV_SAME_OFFSET(pszFooter, pszFooter);
KV_SAME_OFFSET(pfCallback, pfCallback);
KV_SAME_OFFSET(lpCallbackData, lpCallbackData);
KV_SAME_OFFSET(cxWidth, cxWidth);
static_assert(sizeof(TASKDIALOGCONFIG) == 96 && sizeof(TASKDIALOG_BUTTON) == 8);

}  // namespace
}  // namespace kv
#endif
