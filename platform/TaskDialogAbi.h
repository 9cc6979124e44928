// The records of the platform's task dialog protocol, field for field: the
// configuration a task dialog is described by and its button entries. In the
// 32-bit Windows program they are byte for byte the platform's
// TASKDIALOGCONFIG (96 bytes) and TASKDIALOG_BUTTON (8 bytes); elsewhere the
// same fields hold pointer-sized values, naturally aligned (the records are
// only ever read by the framework's own task dialog, never by the platform).
#pragma once

#include <cstdint>

#include "platform/Base.h"

namespace kv {

#define KV_CALLBACK KV_STDCALL

// The answer of a task dialog callback: 0 (S_OK) or an error code.
using HRESULT32 = std::int32_t;
constexpr HRESULT32 kS_OK = 0;
constexpr HRESULT32 kE_FAIL = static_cast<HRESULT32>(0x80004005u);
constexpr HRESULT32 kE_OUTOFMEMORY = static_cast<HRESULT32>(0x8007000Eu);

// (window, notification, wParam, lParam, reference data) -> answer.
using TTaskDialogCallback = HRESULT32(KV_CALLBACK*)(std::uintptr_t hwnd, std::uint32_t msg, std::uintptr_t wParam,
                                                    std::intptr_t lParam, std::intptr_t lpRefData);

struct TaskDialogButtonEntry {
  std::int32_t nButtonID = 0;
  const char16_t* pszButtonText = nullptr;
};

struct TaskDialogConfig {
  std::uint32_t cbSize = 0;
  std::uintptr_t hwndParent = 0;
  std::uintptr_t hInstance = 0;
  std::uint32_t dwFlags = 0;
  std::uint32_t dwCommonButtons = 0;
  const char16_t* pszWindowTitle = nullptr;
  // An icon code, or with the matching flag an icon handle.
  std::uintptr_t hMainIcon = 0;
  const char16_t* pszMainInstruction = nullptr;
  const char16_t* pszContent = nullptr;
  std::uint32_t cButtons = 0;
  const TaskDialogButtonEntry* pButtons = nullptr;
  std::int32_t nDefaultButton = 0;
  std::uint32_t cRadioButtons = 0;
  const TaskDialogButtonEntry* pRadioButtons = nullptr;
  std::int32_t nDefaultRadioButton = 0;
  const char16_t* pszVerificationText = nullptr;
  const char16_t* pszExpandedInformation = nullptr;
  const char16_t* pszExpandedControlText = nullptr;
  const char16_t* pszCollapsedControlText = nullptr;
  std::uintptr_t hFooterIcon = 0;
  const char16_t* pszFooter = nullptr;
  TTaskDialogCallback pfCallback = nullptr;
  std::intptr_t lpCallbackData = 0;
  std::uint32_t cxWidth = 0;
};

// The size a configuration reports in cbSize: 96 in the 32-bit program.
constexpr std::uint32_t kTaskDialogConfigSize = sizeof(TaskDialogConfig);
static_assert(sizeof(void*) != 4 || (kTaskDialogConfigSize == 96 && sizeof(TaskDialogButtonEntry) == 8));

}  // namespace kv
